#include "ui/editor/OverlayLayerView.h"

#include "editor/EditorState.h"
#include "overlay/TextMetrics.h"
#include "ui/Theme.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

constexpr double kTextPadding = 2.0;
// QLineEdit keeps this much room between its contents and its text.
constexpr double kLineEditMargin = 2.0;

// Distance from p to the segment a-b.
double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF closest = a + t * ab;
    return std::hypot(p.x() - closest.x(), p.y() - closest.y());
}

}  // namespace

QRectF OverlayLayerView::handleHitRect(const QPointF& centre) {
    const double half = kHandleHitSize / 2;
    return QRectF(centre.x() - half, centre.y() - half, kHandleHitSize, kHandleHitSize);
}

namespace {

void drawOutline(QPainter& painter, const QRectF& rect, bool selected, bool alwaysVisible) {
    if (selected) {
        painter.setPen(QPen(Theme::accent(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(1, 1, -1, -1));
    } else if (alwaysVisible) {
        QPen pen(QColor(255, 255, 255, 179), 1);
        pen.setDashPattern({4, 3});
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void drawHandle(QPainter& painter, const QPointF& centre, bool filled) {
    const double r = OverlayLayerView::kHandleSize / 2;
    if (filled) {
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(Theme::accent());
    } else {
        painter.setPen(QPen(Theme::accent(), 2));
        painter.setBrush(Qt::white);
    }
    painter.drawEllipse(centre, r - 0.75, r - 0.75);
}

}  // namespace

OverlayLayerView::OverlayLayerView(EditorState* state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(false);
    auto repaint = [this] { update(); };
    connect(state, &EditorState::overlaysChanged, this, [this] {
        placeTextEditor();
        update();
    });
    connect(state, &EditorState::currentIndexChanged, this, repaint);
    connect(state, &EditorState::framesChanged, this, repaint);
    connect(state, &EditorState::selectedOverlayIDChanged, this, [this] {
        if (!m_editingTextID.isNull() && m_state->selectedOverlayID() != m_editingTextID) {
            commitTextEdit();
        }
        update();
    });
    connect(state, &EditorState::isCroppingChanged, this, [this](bool cropping) {
        setAttribute(Qt::WA_TransparentForMouseEvents, cropping);
        if (cropping) {
            commitTextEdit();
        }
        update();
    });
}

void OverlayLayerView::setDisplayRect(const QRectF& rect) {
    m_displayRect = rect;
    placeTextEditor();
    update();
}

double OverlayLayerView::scale() const {
    return m_displayRect.width() / std::max(m_state->imageSize().width(), 1.0);
}

QRectF OverlayLayerView::toView(const QRectF& r) const {
    const double s = scale();
    return QRectF(m_displayRect.x() + r.x() * s, m_displayRect.y() + r.y() * s, r.width() * s,
                  r.height() * s);
}

QRectF OverlayLayerView::shownRect(const OverlayItem& item) const {
    if (std::holds_alternative<TextOverlay>(item.content)) {
        return toView(item.bounds())
            .adjusted(-kTextPadding, -kTextPadding, kTextPadding, kTextPadding);
    }
    if (const auto* arrow = std::get_if<ArrowOverlay>(&item.content)) {
        return toView(QRectF(arrow->start, arrow->end).normalized());
    }
    return toView(item.bounds());
}

QRectF OverlayLayerView::resizedRect(const QRectF& start, const QPointF& delta,
                                     const QSizeF& imageSize, bool lockAspect) {
    const double W = imageSize.width();
    const double H = imageSize.height();
    double width = 0;
    double height = 0;
    if (!lockAspect) {
        width = std::min(std::max(start.width() + delta.x(), kMinimumSide), W - start.x());
        height = std::min(std::max(start.height() + delta.y(), kMinimumSide), H - start.y());
    } else {
        const double ratio = start.height() / std::max(start.width(), 1.0);
        const double r = std::max(ratio, 0.0001);
        const double d = std::abs(delta.y() / r) <= std::abs(delta.x()) ? delta.x() : delta.y() / r;
        width = std::max(start.width() + d, kMinimumSide);
        width = std::min(width, W - start.x());
        width = std::min(width, (H - start.y()) / r);
        height = ratio * width;
    }
    // An overlay lying beyond the image's right or bottom edge has no room to
    // grow into: it keeps its size rather than collapse.
    if (!(width > 0) || !(height > 0)) {
        return start;
    }
    return QRectF(start.x(), start.y(), width, height);
}

const OverlayItem* OverlayLayerView::findItem(const QUuid& id) const {
    for (const OverlayItem& item : m_state->overlays()) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

const OverlayItem* OverlayLayerView::itemAt(const QPointF& point) const {
    const OverlayList& items = m_state->overlays();
    const double s = scale();
    const FrameList& frames = m_state->frames();
    const int current = m_state->currentIndex();
    const QUuid frame = current >= 0 && current < frames.size() ? frames[current].id : QUuid();
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
        // A key caption or click mark is there to pick only on the frames it shows on.
        if (!it->showsOn(frame)) {
            continue;
        }
        // Pointer highlights follow the recorded pointer and are shown or hidden as a whole
        // from the overlay menu; a click on one reaches what lies beneath.
        if (std::holds_alternative<PointerHighlightOverlay>(it->content)) {
            continue;
        }
        if (const auto* arrow = std::get_if<ArrowOverlay>(&it->content)) {
            const double w = std::max(arrow->lineWidth * s, 1.5);
            const double hit = std::max(w + 12, 16.0) / 2;
            const QPointF tail = toView(QRectF(arrow->start, QSizeF())).topLeft();
            const QPointF tip = toView(QRectF(arrow->end, QSizeF())).topLeft();
            if (distanceToSegment(point, tail, tip) <= hit) {
                return &*it;
            }
        } else if (shownRect(*it).contains(point)) {
            return &*it;
        }
    }
    return nullptr;
}

OverlayLayerView::Drag OverlayLayerView::handleAt(const QPointF& point) const {
    const OverlayItem* item = findItem(m_state->selectedOverlayID());
    if (item == nullptr) {
        return Drag::None;
    }
    if (const auto* arrow = std::get_if<ArrowOverlay>(&item->content)) {
        // The tip's handle is drawn last, so it wins where both overlap.
        if (handleHitRect(toView(QRectF(arrow->end, QSizeF())).topLeft()).contains(point)) {
            return Drag::ArrowEnd;
        }
        if (handleHitRect(toView(QRectF(arrow->start, QSizeF())).topLeft()).contains(point)) {
            return Drag::ArrowStart;
        }
        return Drag::None;
    }
    if (std::holds_alternative<StickerOverlay>(item->content) ||
        std::holds_alternative<MosaicOverlay>(item->content)) {
        if (handleHitRect(shownRect(*item).bottomRight()).contains(point)) {
            return Drag::Resize;
        }
    }
    return Drag::None;
}

void OverlayLayerView::beginGesture(const OverlayItem& item) {
    if (m_gestureStart && m_gestureStart->first == item.id) {
        return;
    }
    endGesture();
    m_gestureEdit = m_state->beginOverlayEdit(item.id);
    m_gestureStart = std::make_pair(item.id, item.content);
}

void OverlayLayerView::endGesture() {
    if (m_gestureStart) {
        m_gestureStart.reset();
        m_gestureEdit.close();
    }
}

// --- Drawing -----------------------------------------------------------------

// The overlays themselves are in the frame the canvas shows (rendered as the
// file will have them); this layer draws only what is not saved: mosaic
// outlines and the selection's outline and handles.
void OverlayLayerView::paintEvent(QPaintEvent*) {
    if (m_state->frames().isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QUuid selected = m_state->selectedOverlayID();
    const OverlayItem* selectedItem = nullptr;
    painter.setClipRect(m_displayRect);
    for (const OverlayItem& item : m_state->overlays()) {
        if (item.id == selected) {
            selectedItem = &item;
        } else if (std::holds_alternative<MosaicOverlay>(item.content)) {
            drawOutline(painter, shownRect(item), false, true);
        }
    }
    // Unclipped, so that an overlay dragged off the frame can still be
    // grabbed.
    painter.setClipping(false);
    // A text being edited in place is framed by its field instead.
    if (selectedItem != nullptr && selectedItem->id != m_editingTextID) {
        drawSelection(painter, *selectedItem);
    }
}

void OverlayLayerView::drawSelection(QPainter& painter, const OverlayItem& item) {
    if (const auto* arrow = std::get_if<ArrowOverlay>(&item.content)) {
        drawHandle(painter, toView(QRectF(arrow->start, QSizeF())).topLeft(), false);
        drawHandle(painter, toView(QRectF(arrow->end, QSizeF())).topLeft(), false);
        return;
    }
    const QRectF r = shownRect(item);
    drawOutline(painter, r, true, false);
    if (!std::holds_alternative<TextOverlay>(item.content)) {
        drawHandle(painter, r.bottomRight(), true);
    }
}

// --- Mouse -------------------------------------------------------------------

void OverlayLayerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_state->isCropping()) {
        event->ignore();
        return;
    }
    const QPointF point = event->position();
    m_pressPoint = point;
    m_dragStarted = false;
    endGesture();

    const Drag handle = handleAt(point);
    if (handle != Drag::None) {
        m_drag = handle;
        m_dragID = m_state->selectedOverlayID();
        if (handle == Drag::ArrowStart || handle == Drag::ArrowEnd) {
            // End handles act from the press, without a movement threshold.
            if (const OverlayItem* item = findItem(m_dragID)) {
                beginGesture(*item);
            }
            m_dragStarted = true;
        }
        event->accept();
        return;
    }
    const OverlayItem* item = itemAt(point);
    if (item == nullptr) {
        m_drag = Drag::None;
        event->ignore();  // the canvas beneath clears the selection
        return;
    }
    m_drag = Drag::Move;
    m_dragID = item->id;
    m_state->setSelectedOverlayID(item->id);
    event->accept();
}

void OverlayLayerView::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag == Drag::None || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPointF translation = event->position() - m_pressPoint;
    if (!m_dragStarted) {
        if (std::max(std::abs(translation.x()), std::abs(translation.y())) < 1.0) {
            return;
        }
        m_dragStarted = true;
    }
    const OverlayItem* item = findItem(m_dragID);
    const double s = scale();
    if (item == nullptr || !(s > 0)) {
        return;
    }
    const QPointF delta(translation.x() / s, translation.y() / s);
    if (m_drag == Drag::Move) {
        m_state->setSelectedOverlayID(item->id);
    }
    beginGesture(*item);
    const OverlayContent start = m_gestureStart->second;
    switch (m_drag) {
        case Drag::Move:
            m_state->setOverlayContent(item->id, contentTranslated(start, delta.x(), delta.y()));
            break;
        case Drag::Resize:
            if (const auto* sticker = std::get_if<StickerOverlay>(&start)) {
                StickerOverlay changed = *sticker;
                changed.rect =
                    resizedRect(sticker->rect, delta, m_state->imageSize(), sticker->lockAspect);
                m_state->setOverlayContent(item->id, changed);
            } else if (const auto* mosaic = std::get_if<MosaicOverlay>(&start)) {
                MosaicOverlay changed = *mosaic;
                changed.rect = resizedRect(mosaic->rect, delta, m_state->imageSize(), false);
                m_state->setOverlayContent(item->id, changed);
            }
            break;
        case Drag::ArrowStart:
        case Drag::ArrowEnd:
            if (const auto* arrow = std::get_if<ArrowOverlay>(&start)) {
                ArrowOverlay changed = *arrow;
                if (m_drag == Drag::ArrowStart) {
                    changed.start = arrow->start + delta;
                } else {
                    changed.end = arrow->end + delta;
                }
                m_state->setOverlayContent(item->id, changed);
            }
            break;
        case Drag::None:
            break;
    }
}

void OverlayLayerView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_drag == Drag::None) {
        event->ignore();
        return;
    }
    m_drag = Drag::None;
    endGesture();
    event->accept();
}

void OverlayLayerView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (m_state->isCropping()) {
        event->ignore();
        return;
    }
    const OverlayItem* item = itemAt(event->position());
    if (item == nullptr || !std::holds_alternative<TextOverlay>(item->content)) {
        // A double click elsewhere acts as a press.
        mousePressEvent(event);
        return;
    }
    beginTextEdit(*item);
    event->accept();
}

// --- Text editing in place ---------------------------------------------------

void OverlayLayerView::beginTextEdit(const OverlayItem& item) {
    const auto* text = std::get_if<TextOverlay>(&item.content);
    if (text == nullptr) {
        return;
    }
    commitTextEdit();
    m_state->pause();
    m_state->setSelectedOverlayID(item.id);
    m_editingTextID = item.id;
    m_editor = new QLineEdit(this);
    m_editor->setFrame(false);
    m_editor->setText(text->text);
    m_editor->setTextMargins(0, 0, 0, 0);
    // Everything typed until the field's edit ends is one undo step (none
    // when nothing changes).
    m_textEdit = m_state->beginOverlayEdit(item.id);
    emit editingTextChanged(item.id);
    const QColor accent = Theme::accent();
    m_editor->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgba(%1, %2, %3, 31); border: 1px solid %4; "
                       "padding: %6px; color: %5; }")
            .arg(accent.red())
            .arg(accent.green())
            .arg(accent.blue())
            .arg(accent.name(), text->color.toQColor().name())
            .arg(kTextPadding));
    const QUuid id = item.id;
    connect(m_editor, &QLineEdit::textEdited, this, [this, id](const QString& value) {
        if (m_editingTextID != id) {
            return;
        }
        if (const OverlayItem* current = findItem(id)) {
            if (const auto* t = std::get_if<TextOverlay>(&current->content)) {
                TextOverlay changed = *t;
                changed.text = value;
                m_state->setOverlayContent(id, changed);
            }
        }
    });
    connect(m_editor, &QLineEdit::returnPressed, this, &OverlayLayerView::commitTextEdit);
    connect(m_editor, &QLineEdit::editingFinished, this, &OverlayLayerView::commitTextEdit);
    placeTextEditor();
    m_editor->show();
    m_editor->setFocus();
    m_editor->selectAll();
    update();
}

void OverlayLayerView::commitTextEdit() {
    if (m_editingTextID.isNull()) {
        return;
    }
    m_editingTextID = QUuid();
    bool hadFocus = false;
    if (m_editor) {
        QLineEdit* editor = m_editor;
        m_editor = nullptr;
        hadFocus = editor->hasFocus();
        m_textEdit.close();
        // A field on its way out must not end the next edit when it loses
        // the focus.
        editor->disconnect(this);
        editor->hide();
        editor->deleteLater();
    }
    emit editingTextChanged(QUuid());
    if (hadFocus) {
        emit textEditCommitted();
    }
    update();
}

void OverlayLayerView::placeTextEditor() {
    if (!m_editor) {
        return;
    }
    const OverlayItem* item = findItem(m_editingTextID);
    const TextOverlay* text = item != nullptr ? std::get_if<TextOverlay>(&item->content) : nullptr;
    if (text == nullptr) {
        commitTextEdit();
        return;
    }
    // The field's text lands where the saved text is drawn, at the preview's
    // scale: the box is the text's measured width plus the padding and the
    // 1-point border, and the field's own 2-point text margin on the left.
    // Vertically the line edit puts its baseline its font's ascent (plus a
    // 1-point margin) below the top of its contents, while the line, and the
    // selection with it, reaches as high and low as the fonts in it do (a
    // fallback font for Han characters reaches further): the contents end
    // where the line does, so that no strip of field shows under the
    // selection, and the field sits where the baselines meet.
    const double s = scale();
    const double shown = std::max(text->fontSize * s, 1.0);
    QFont font = TextMetrics::font(shown);
    font.setPixelSize(std::max(1, qRound(shown)));
    m_editor->setFont(font);
    m_editor->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const TextLine saved(m_editor->text(), text->fontSize);
    const int ascent = QFontMetrics(font).ascent();
    double descent = QFontMetricsF(font).descent();
    if (!m_editor->text().isEmpty()) {
        QTextLayout layout(m_editor->text(), font);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();  // lays the line out
        if (line.isValid()) {
            descent = std::max(descent, line.descent());
        }
    }
    constexpr int kVerticalMargin = 1;
    const double frame = kTextPadding + 1;
    const QPointF origin = toView(QRectF(text->origin, QSizeF())).topLeft();
    const double baseline = origin.y() + saved.baseline().y() * s;
    const double top = std::round(baseline) - ascent - kVerticalMargin - frame;
    const QRectF field(origin.x() - frame - kLineEditMargin, top,
                       saved.size().width() * s + 2 * (frame + kLineEditMargin) + 1,
                       kVerticalMargin + ascent + std::ceil(descent) + 2 * frame);
    m_editor->setGeometry(field.toAlignedRect());
}

}  // namespace mirelo
