#include "ui/editor/CropOverlayView.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace mirelo {

CropOverlayView::CropOverlayView(EditorState* state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setMouseTracking(true);
    connect(state, &EditorState::cropRectChanged, this, [this] { update(); });
    connect(state, &EditorState::framesChanged, this, [this] { update(); });
}

void CropOverlayView::setDisplayRect(const QRectF& rect) {
    m_displayRect = rect;
    update();
}

QRectF CropOverlayView::toView(const QRectF& r, const QRectF& displayRect,
                               const QSizeF& imageSize) {
    const double s = displayRect.width() / std::max(imageSize.width(), 1.0);
    return QRectF(displayRect.x() + r.x() * s, displayRect.y() + r.y() * s, r.width() * s,
                  r.height() * s);
}

QRectF CropOverlayView::moved(const QRectF& t, const QPointF& delta, const QSizeF& imageSize) {
    const double x = std::min(imageSize.width() - t.width(), std::max(0.0, t.x() + delta.x()));
    const double y = std::min(imageSize.height() - t.height(), std::max(0.0, t.y() + delta.y()));
    return QRectF(x, y, t.width(), t.height());
}

QRectF CropOverlayView::resized(const QRectF& t, int edges, const QPointF& delta,
                                const QSizeF& imageSize) {
    double x = t.x();
    double y = t.y();
    double w = t.width();
    double h = t.height();
    const double maxX = t.x() + t.width();
    const double maxY = t.y() + t.height();
    if (edges & Leading) {
        x = std::max(0.0, std::min(maxX - kMinimumSide, t.x() + delta.x()));
        w = maxX - x;
    }
    if (edges & Trailing) {
        w = std::min(std::max(t.width() + delta.x(), kMinimumSide), imageSize.width() - t.x());
    }
    if (edges & Top) {
        y = std::max(0.0, std::min(maxY - kMinimumSide, t.y() + delta.y()));
        h = maxY - y;
    }
    if (edges & Bottom) {
        h = std::min(std::max(t.height() + delta.y(), kMinimumSide), imageSize.height() - t.y());
    }
    return QRectF(x, y, w, h);
}

double CropOverlayView::scale() const {
    return m_displayRect.width() / std::max(m_state->imageSize().width(), 1.0);
}

int CropOverlayView::handleAt(const QPointF& point) const {
    const QRectF v = toView(m_state->cropRect(), m_displayRect, m_state->imageSize());
    const struct {
        QPointF corner;
        int edges;
    } corners[] = {
        {v.topLeft(), Top | Leading},
        {v.topRight(), Top | Trailing},
        {v.bottomLeft(), Bottom | Leading},
        {v.bottomRight(), Bottom | Trailing},
    };
    // The last-drawn handle lies on top, so search backwards.
    for (int i = 3; i >= 0; --i) {
        const QPointF d = point - corners[i].corner;
        if (d.x() * d.x() + d.y() * d.y() <= (kHandleSize / 2) * (kHandleSize / 2)) {
            return corners[i].edges;
        }
    }
    return 0;
}

void CropOverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF v = toView(m_state->cropRect(), m_displayRect, m_state->imageSize());

    QPainterPath dim;
    dim.setFillRule(Qt::OddEvenFill);
    dim.addRect(rect());
    dim.addRect(v);
    painter.fillPath(dim, QColor::fromRgbF(0, 0, 0, 0.45f));

    const QColor accent = Theme::accent();
    painter.setPen(QPen(accent, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(v.adjusted(0.75, 0.75, -0.75, -0.75));

    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(accent);
    for (const QPointF& corner : {v.topLeft(), v.topRight(), v.bottomLeft(), v.bottomRight()}) {
        painter.drawEllipse(corner, kHandleSize / 2 - 0.75, kHandleSize / 2 - 0.75);
    }
}

void CropOverlayView::mousePressEvent(QMouseEvent* event) {
    // The whole layer takes clicks, so nothing beneath reacts during cropping.
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    m_pressPoint = event->position();
    m_dragStart.reset();
    m_dragEdges = handleAt(m_pressPoint);
    const QRectF v = toView(m_state->cropRect(), m_displayRect, m_state->imageSize());
    m_dragMoves = m_dragEdges == 0 && v.contains(m_pressPoint);
}

void CropOverlayView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!(event->buttons() & Qt::LeftButton)) {
        const int edges = handleAt(event->position());
        if (edges == (Top | Leading) || edges == (Bottom | Trailing)) {
            setCursor(Qt::SizeFDiagCursor);
        } else if (edges != 0) {
            setCursor(Qt::SizeBDiagCursor);
        } else {
            const QRectF v = toView(m_state->cropRect(), m_displayRect, m_state->imageSize());
            setCursor(v.contains(event->position()) ? Qt::OpenHandCursor : Qt::ArrowCursor);
        }
        return;
    }
    if (m_dragEdges == 0 && !m_dragMoves) {
        return;
    }
    const QPointF translation = event->position() - m_pressPoint;
    if (!m_dragStart && std::max(std::abs(translation.x()), std::abs(translation.y())) < 1.0) {
        return;
    }
    if (!m_dragStart) {
        m_dragStart = m_state->cropRect();
    }
    const double s = scale();
    if (!(s > 0)) {
        return;
    }
    const QPointF delta(translation.x() / s, translation.y() / s);
    const QSizeF imageSize = m_state->imageSize();
    m_state->setCropRect(m_dragEdges != 0 ? resized(*m_dragStart, m_dragEdges, delta, imageSize)
                                          : moved(*m_dragStart, delta, imageSize));
}

void CropOverlayView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    m_dragStart.reset();
    m_dragEdges = 0;
    m_dragMoves = false;
}

}  // namespace mirelo
