#include "ui/editor/PreviewCanvas.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"
#include "ui/editor/PreviewRenderer.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace mirelo {

PreviewCanvas::PreviewCanvas(EditorState* state, QWidget* parent)
    : QWidget(parent), m_state(state), m_renderer(new PreviewRenderer(state, this)) {
    setMinimumSize(0, 0);
    // A click on the preview takes the keyboard focus from the delay field,
    // so Space plays again instead of typing a blank.
    setFocusPolicy(Qt::ClickFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_renderer, &PreviewRenderer::imageChanged, this, [this] { update(); });
    connect(state, &EditorState::framesChanged, this, [this] {
        update();
        checkDisplayRect();
    });
}

QRectF PreviewCanvas::displayRect(const QSizeF& area, const QSizeF& imageSize) {
    const double iw = imageSize.width();
    const double ih = imageSize.height();
    if (!(iw > 0) || !(ih > 0)) {
        return {};
    }
    const double aw = area.width();
    const double ah = area.height();
    const double s = std::min((ah - 24) / ih, (aw - 24) / iw);
    const double w = iw * s;
    const double h = ih * s;
    return QRectF((aw - w) / 2, (ah - h) / 2, w, h);
}

QRectF PreviewCanvas::displayRect() const {
    return displayRect(QSizeF(size()), m_state->imageSize());
}

void PreviewCanvas::addLayer(QWidget* layer) {
    layer->setParent(this);
    layer->setGeometry(rect());
    layer->raise();
    m_layers.append(layer);
}

void PreviewCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::paperDeep());
    const Image shown = m_renderer->image();
    if (shown.isNull()) {
        return;
    }
    const QRectF target = displayRect();
    if (target.isEmpty()) {
        return;
    }
    const QImage image = shown.qimage();
    // Smooth, except for small recordings blown up at least twice, whose
    // pixels stay sharp.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < 2 * image.width());
    painter.drawImage(target, image);
}

void PreviewCanvas::mousePressEvent(QMouseEvent* event) {
    m_state->setSelectedOverlayID(QUuid());
    event->accept();
}

void PreviewCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QWidget* layer : std::as_const(m_layers)) {
        layer->setGeometry(rect());
    }
    checkDisplayRect();
}

void PreviewCanvas::checkDisplayRect() {
    const QRectF now = displayRect();
    if (now != m_lastRect) {
        m_lastRect = now;
        emit displayRectChanged(now);
    }
}

}  // namespace mirelo
