#include "ui/editor/OverlayLayerView.h"

#include "editor/EditorState.h"
#include "overlay/OverlayRenderer.h"
#include "overlay/TextMetrics.h"
#include "ui/Theme.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

constexpr double kTextPadding = 2.0;

// Distance from p to the segment a-b.
double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF closest = a + t * ab;
    return std::hypot(p.x() - closest.x(), p.y() - closest.y());
}

QRectF handleHitRect(const QPointF& centre) {
    const double half = OverlayLayerView::kHandleSize / 2;
    return QRectF(centre.x() - half, centre.y() - half, OverlayLayerView::kHandleHitSize,
                  OverlayLayerView::kHandleHitSize);
}

double shownFontSize(double fontSize, double s) {
    return std::max(fontSize * s, 6.0);
}

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
    const double s = scale();
    if (const auto* text = std::get_if<TextOverlay>(&item.content)) {
        const double font = shownFontSize(text->fontSize, s);
        const QSizeF box = TextMetrics::size(text->text, font);
        const QPointF origin(m_displayRect.x() + text->origin.x() * s,
                             m_displayRect.y() + text->origin.y() * s);
        return QRectF(origin, box).adjusted(0, 0, 2 * kTextPadding, 2 * kTextPadding);
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
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
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

void OverlayLayerView::beginGestureIfNeeded(const OverlayItem& item) {
    if (m_gestureStart && m_gestureStart->first == item.id) {
        return;
    }
    m_state->snapshot();
    m_gestureStart = std::make_pair(item.id, item.content);
}

Image OverlayLayerView::currentFrameImage() const {
    const FrameList& frames = m_state->frames();
    const int index = m_state->currentIndex();
    if (index < 0 || index >= frames.size()) {
        return {};
    }
    return frames.at(index).image;
}

Image OverlayLayerView::mosaicPreview(const OverlayItem& item, const MosaicOverlay& mosaic) {
    const Image frame = currentFrameImage();
    if (frame.isNull()) {
        m_mosaics.remove(item.id);
        return {};
    }
    MosaicCache& cache = m_mosaics[item.id];
    const qint64 key = frame.cacheKey();
    if (cache.frameKey != key || cache.rect != mosaic.rect || cache.blockSize != mosaic.blockSize) {
        cache.frameKey = key;
        cache.rect = mosaic.rect;
        cache.blockSize = mosaic.blockSize;
        cache.patch = MosaicPixelator::pixelate(frame, mosaic.rect, mosaic.blockSize);
    }
    return cache.patch;
}

// --- Drawing -----------------------------------------------------------------

void OverlayLayerView::paintEvent(QPaintEvent*) {
    if (m_state->frames().isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QUuid selected = m_state->selectedOverlayID();
    QSet<QUuid> present;
    // Overlays show only where the saved file will have them: on the frame.
    // The selection's outline and handles are drawn afterwards, unclipped, so
    // that an overlay dragged off the frame can still be grabbed.
    painter.setClipRect(m_displayRect);
    const OverlayItem* selectedItem = nullptr;
    for (const OverlayItem& item : m_state->overlays()) {
        present.insert(item.id);
        if (item.id == selected) {
            selectedItem = &item;
        }
        const bool isSelected = false;
        std::visit(
            [&](const auto& content) {
                using T = std::decay_t<decltype(content)>;
                if constexpr (std::is_same_v<T, StickerOverlay>) {
                    drawSticker(painter, content, isSelected);
                } else if constexpr (std::is_same_v<T, MosaicOverlay>) {
                    drawMosaic(painter, item, content, isSelected);
                } else if constexpr (std::is_same_v<T, ArrowOverlay>) {
                    drawArrow(painter, content, isSelected);
                } else {
                    drawText(painter, item, content, isSelected);
                }
            },
            item.content);
    }
    painter.setClipping(false);
    if (selectedItem != nullptr) {
        drawSelection(painter, *selectedItem);
    }
    // Forget the previews of overlays that are gone.
    for (auto it = m_mosaics.begin(); it != m_mosaics.end();) {
        it = present.contains(it.key()) ? std::next(it) : m_mosaics.erase(it);
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

void OverlayLayerView::drawSticker(QPainter& painter, const StickerOverlay& sticker,
                                   bool selected) {
    const QRectF r = toView(sticker.rect);
    if (!sticker.image.isNull()) {
        painter.drawImage(r, sticker.image.qimage());
    }
    drawOutline(painter, r, selected, false);
    if (selected) {
        drawHandle(painter, r.bottomRight(), true);
    }
}

void OverlayLayerView::drawMosaic(QPainter& painter, const OverlayItem& item,
                                  const MosaicOverlay& mosaic, bool selected) {
    const QRectF r = toView(mosaic.rect);
    const Image patch = mosaicPreview(item, mosaic);
    if (!patch.isNull()) {
        // The patch covers the part of the rectangle inside the image, on
        // whole pixels.
        const QSizeF size = m_state->imageSize();
        const QRectF image(0, 0, size.width(), size.height());
        const QRectF outer(std::floor(mosaic.rect.left()), std::floor(mosaic.rect.top()),
                           std::ceil(mosaic.rect.right()) - std::floor(mosaic.rect.left()),
                           std::ceil(mosaic.rect.bottom()) - std::floor(mosaic.rect.top()));
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(toView(outer.intersected(image)), patch.qimage());
        painter.restore();
    } else {
        painter.fillRect(r, QColor(128, 128, 128, 64));
    }
    drawOutline(painter, r, selected, true);
    if (selected) {
        drawHandle(painter, r.bottomRight(), true);
    }
}

void OverlayLayerView::drawArrow(QPainter& painter, const ArrowOverlay& arrow, bool selected) {
    const double s = scale();
    const QPointF tail = toView(QRectF(arrow.start, QSizeF())).topLeft();
    const QPointF tip = toView(QRectF(arrow.end, QSizeF())).topLeft();
    const double w = std::max(arrow.lineWidth * s, 1.5);
    const double angle = std::atan2(tip.y() - tail.y(), tip.x() - tail.x());
    const double length = std::max(4 * w, 12.0);
    const QPointF wing1 =
        tip - length * QPointF(std::cos(angle - M_PI / 6), std::sin(angle - M_PI / 6));
    const QPointF wing2 =
        tip - length * QPointF(std::cos(angle + M_PI / 6), std::sin(angle + M_PI / 6));
    QPainterPath path;
    path.moveTo(tail);
    path.lineTo(tip);
    path.moveTo(wing1);
    path.lineTo(tip);
    path.lineTo(wing2);
    painter.setPen(QPen(arrow.color.toQColor(), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    if (selected) {
        drawHandle(painter, tail, false);
        drawHandle(painter, tip, false);
    }
}

void OverlayLayerView::drawText(QPainter& painter, const OverlayItem& item, const TextOverlay& text,
                                bool selected) {
    const QRectF box = shownRect(item);
    if (item.id != m_editingTextID) {
        const double s = scale();
        const double font = shownFontSize(text.fontSize, s);
        const TextLine line(text.text, font);
        const QPointF origin = box.topLeft() + QPointF(kTextPadding, kTextPadding);
        if (text.shadow && !line.isEmpty()) {
            // A soft shadow: the glyphs in black, blurred by scaling a small
            // copy back up, under the text.
            const double blur = std::max(text.fontSize * s / 10, 1.0);
            const QSize area = (box.size() + QSizeF(4 * blur, 4 * blur)).toSize();
            const double shrink = std::clamp(1.0 / blur, 0.1, 0.5);
            QImage shadow(area, QImage::Format_ARGB32_Premultiplied);
            shadow.fill(Qt::transparent);
            {
                QPainter p(&shadow);
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(QColor(0, 0, 0, 115));
                line.draw(p, QPointF(2 * blur + kTextPadding, 2 * blur + kTextPadding));
            }
            const QImage small = shadow.scaled(std::max(1, qRound(area.width() * shrink)),
                                               std::max(1, qRound(area.height() * shrink)),
                                               Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            painter.drawImage(QRectF(box.topLeft() - QPointF(2 * blur, 2 * blur), QSizeF(area)),
                              small);
        }
        painter.setPen(text.color.toQColor());
        line.draw(painter, origin);
    }
    drawOutline(painter, box, selected, false);
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
    m_gestureStart.reset();

    const Drag handle = handleAt(point);
    if (handle != Drag::None) {
        m_drag = handle;
        m_dragID = m_state->selectedOverlayID();
        if (handle == Drag::ArrowStart || handle == Drag::ArrowEnd) {
            // End handles act from the press: even a click records a step.
            if (const OverlayItem* item = findItem(m_dragID)) {
                beginGestureIfNeeded(*item);
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
    beginGestureIfNeeded(*item);
    const OverlayContent& start = m_gestureStart->second;
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
    m_gestureStart.reset();
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
    m_editSnapshotted = false;
    m_editor = new QLineEdit(this);
    m_editor->setFrame(false);
    m_editor->setText(text->text);
    const QColor accent = Theme::accent();
    m_editor->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgba(%1, %2, %3, 31); border: 1px solid %4; "
                       "padding: 0px; color: %5; }")
            .arg(accent.red())
            .arg(accent.green())
            .arg(accent.blue())
            .arg(accent.name(), text->color.toQColor().name()));
    const QUuid id = item.id;
    connect(m_editor, &QLineEdit::textEdited, this, [this, id](const QString& value) {
        if (m_editingTextID != id) {
            return;
        }
        const OverlayItem* current = findItem(id);
        if (!m_editSnapshotted) {
            m_state->snapshot();
            m_editSnapshotted = true;
        }
        if (current != nullptr) {
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
    if (m_editor) {
        QLineEdit* editor = m_editor;
        m_editor = nullptr;
        // A field on its way out must not end the next edit when it loses
        // the focus.
        editor->disconnect(this);
        editor->hide();
        editor->deleteLater();
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
    QFont font = TextMetrics::font(shownFontSize(text->fontSize, scale()));
    font.setPixelSize(std::max(1, qRound(shownFontSize(text->fontSize, scale()))));
    m_editor->setFont(font);
    const QRectF box = shownRect(*item);
    const QFontMetrics metrics(font);
    const int width = std::max(metrics.horizontalAdvance(m_editor->text()) + 16, 40);
    m_editor->setGeometry(
        QRect(box.topLeft().toPoint(),
              QSize(width, std::max(metrics.height() + 4, qRound(box.height())))));
}

}  // namespace mirelo
