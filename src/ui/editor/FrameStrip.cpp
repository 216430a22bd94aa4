#include "ui/editor/FrameStrip.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QItemSelection>
#include <QPainter>
#include <QPainterPath>

namespace mirelo {

// --- ThumbnailCache ----------------------------------------------------------

QPixmap ThumbnailCache::thumbnail(const Image& image, qreal devicePixelRatio) {
    if (image.isNull()) {
        return {};
    }
    const QString key = QStringLiteral("%1@%2").arg(image.cacheKey()).arg(devicePixelRatio);
    if (const QPixmap* cached = m_cache.object(key)) {
        return *cached;
    }
    const QSize box(qRound(kBoxWidth * devicePixelRatio), qRound(kBoxHeight * devicePixelRatio));
    const QImage& source = image.qimage();
    QImage scaled;
    // Halve cheaply first so a large frame costs little more than a small one;
    // the last step is smooth.
    QImage work = source;
    while (work.width() > 4 * box.width() && work.height() > 4 * box.height()) {
        work = work.scaled(work.width() / 2, work.height() / 2, Qt::IgnoreAspectRatio,
                           Qt::FastTransformation);
    }
    scaled = work.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    auto* pixmap = new QPixmap(QPixmap::fromImage(scaled));
    pixmap->setDevicePixelRatio(devicePixelRatio);
    const QPixmap result = *pixmap;
    m_cache.insert(key, pixmap);
    ++m_made;
    return result;
}

// --- FrameListModel ----------------------------------------------------------

FrameListModel::FrameListModel(EditorState* state, QObject* parent)
    : QAbstractListModel(parent), m_state(state) {
    connect(state, &EditorState::framesChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int FrameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_state->frameCount();
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_state->frameCount()) {
        return {};
    }
    const EditorFrame& frame = m_state->frames().at(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return QStringLiteral("#%1").arg(index.row() + 1);
        case IdRole:
            return QVariant::fromValue(frame.id);
        case DelayRole:
            return frame.delay;
        case ImageRole:
            return QVariant::fromValue(frame.image);
        default:
            return {};
    }
}

// --- FrameRowDelegate --------------------------------------------------------

FrameRowDelegate::FrameRowDelegate(ThumbnailCache* cache, QObject* parent)
    : QStyledItemDelegate(parent), m_cache(cache) {}

QSize FrameRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width() > 0 ? option.rect.width() : FrameStrip::kWidth, kRowHeight);
}

void FrameRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect row = option.rect.adjusted(6, 2, -6, -2);
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(Theme::accent());
        painter->drawRoundedRect(row, 6, 6);
    }

    // Thumbnail box, vertically centred in the row.
    const QRectF box(row.left() + 6, row.center().y() - ThumbnailCache::kBoxHeight / 2.0 + 0.5,
                     ThumbnailCache::kBoxWidth, ThumbnailCache::kBoxHeight);
    QPainterPath clip;
    clip.addRoundedRect(box, 4, 4);
    painter->fillPath(clip, Theme::card());
    const Image image = index.data(FrameListModel::ImageRole).value<Image>();
    const QPixmap thumb = m_cache->thumbnail(image, painter->device()->devicePixelRatioF());
    if (!thumb.isNull()) {
        const QSizeF size = thumb.deviceIndependentSize();
        const QPointF at(box.center().x() - size.width() / 2, box.center().y() - size.height() / 2);
        painter->save();
        painter->setClipPath(clip);
        painter->drawPixmap(at, thumb);
        painter->restore();
    }
    painter->setPen(QPen(Theme::border(), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3.5, 3.5);

    // "#n" over the delay.
    const QColor primary = selected ? QColor(Qt::white) : option.palette.color(QPalette::Text);
    const QColor secondary = selected ? QColor(255, 255, 255, 210) : QColor(0, 0, 0, 140);
    const double textLeft = box.right() + 8;
    const QRectF textArea(textLeft, row.top(), row.right() - textLeft, row.height());
    QFont callout = option.font;
    callout.setPointSizeF(callout.pointSizeF() * 1.0);
    QFont caption = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    caption.setPointSizeF(option.font.pointSizeF() * 0.85);
    const QFontMetricsF calloutMetrics(callout);
    const QFontMetricsF captionMetrics(caption);
    const double total = calloutMetrics.height() + 2 + captionMetrics.height();
    const double top = textArea.center().y() - total / 2;
    painter->setFont(callout);
    painter->setPen(primary);
    painter->drawText(QRectF(textLeft, top, textArea.width(), calloutMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    painter->setFont(caption);
    painter->setPen(secondary);
    const double delay = index.data(FrameListModel::DelayRole).toDouble();
    painter->drawText(QRectF(textLeft, top + calloutMetrics.height() + 2, textArea.width(),
                             captionMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, QString::asprintf("%.2fs", delay));
    painter->restore();
}

// --- FrameStrip --------------------------------------------------------------

FrameStrip::FrameStrip(EditorState* state, QWidget* parent)
    : QListView(parent), m_state(state), m_model(new FrameListModel(state, this)) {
    setModel(m_model);
    setItemDelegate(new FrameRowDelegate(&m_thumbnails, this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedWidth(kWidth);
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    // The list's own background stays hidden; the paper shows through.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Theme::paper());
    pal.setColor(QPalette::Window, Theme::paper());
    setPalette(pal);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FrameStrip::onViewSelectionChanged);
    // A plain click on the frame already selected changes no selection, yet
    // the user asked for that frame (after the slider moved elsewhere).
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (QGuiApplication::keyboardModifiers() == Qt::NoModifier && index.isValid() &&
            selectionModel()->isSelected(index) && index.row() < m_state->frameCount()) {
            m_state->seek(index.row());
        }
    });
    connect(state, &EditorState::selectedIDsChanged, this, [this] {
        showModelSelection();
        // The selection a frame-list operation leaves (the deleted frames
        // dropped from it) is no choice of a frame: the operation has set
        // the current frame itself.
        if (!m_viewSelecting && !m_listChanged) {
            m_selectionChanged = true;
            scheduleFollow();
        }
    });
    // A model reset clears the view's selection: show the model's again.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        showModelSelection();
        m_listChanged = true;
        scheduleFollow();
    });
    showModelSelection();
}

void FrameStrip::onViewSelectionChanged() {
    if (m_syncing) {
        return;
    }
    QSet<QUuid> ids;
    int firstRow = -1;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    for (const QModelIndex& index : rows) {
        ids.insert(index.data(FrameListModel::IdRole).value<QUuid>());
        if (firstRow < 0 || index.row() < firstRow) {
            firstRow = index.row();
        }
    }
    if (ids == m_state->selectedIDs()) {
        return;  // the same frames: nothing to apply
    }
    m_viewSelecting = true;
    m_state->setSelectedIDs(ids);
    m_viewSelecting = false;
    if (ids.isEmpty()) {
        return;  // the current frame stays
    }
    const QModelIndex clicked = selectionModel()->currentIndex();
    const int row =
        clicked.isValid() && selectionModel()->isSelected(clicked) ? clicked.row() : firstRow;
    if (row >= 0 && row < m_state->frameCount()) {
        m_state->seek(row);
    }
}

void FrameStrip::scheduleFollow() {
    if (m_followPending) {
        return;
    }
    m_followPending = true;
    QMetaObject::invokeMethod(this, &FrameStrip::followModelSelection, Qt::QueuedConnection);
}

void FrameStrip::followModelSelection() {
    m_followPending = false;
    const bool selectionChanged = m_selectionChanged;
    m_selectionChanged = false;
    m_listChanged = false;
    const FrameList& frames = m_state->frames();
    const int current = m_state->currentIndex();
    if (current < 0 || current >= frames.size()) {
        return;
    }
    const QSet<QUuid>& ids = m_state->selectedIDs();
    if (ids.isEmpty()) {
        // The current frame is the one selected: nothing to follow.
        m_viewSelecting = true;
        m_state->setSelectedIDs({frames.at(current).id});
        m_viewSelecting = false;
        return;
    }
    if (!selectionChanged || ids.contains(frames.at(current).id)) {
        return;
    }
    for (int row = 0; row < frames.size(); ++row) {
        if (ids.contains(frames.at(row).id)) {
            m_state->seek(row);
            return;
        }
    }
}

void FrameStrip::showModelSelection() {
    m_syncing = true;
    QItemSelection selection;
    const QSet<QUuid>& ids = m_state->selectedIDs();
    const FrameList& frames = m_state->frames();
    // Contiguous runs become one range each, so selecting all of a long
    // recording stays cheap.
    int runStart = -1;
    for (int row = 0; row <= frames.size(); ++row) {
        const bool in = row < frames.size() && ids.contains(frames.at(row).id);
        if (in && runStart < 0) {
            runStart = row;
        } else if (!in && runStart >= 0) {
            selection.select(m_model->index(runStart), m_model->index(row - 1));
            runStart = -1;
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
}

}  // namespace mirelo
