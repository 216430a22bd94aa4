#include "ui/recorder/ResizeHandle.h"

#include <QMouseEvent>

namespace mirelo {

using recorder::Edge;

ResizeHandle::ResizeHandle(recorder::Edges edges, QWidget* window)
    : QWidget(window), m_edges(edges), m_window(window) {
    const bool vertical = edges & (Edge::Top | Edge::Bottom);
    setCursor(vertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ResizeHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressPosition = event->globalPosition().toPoint();
    m_startFrame.reset();
    event->accept();
}

void ResizeHandle::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint translation = event->globalPosition().toPoint() - m_pressPosition;
    if (!m_startFrame) {
        if (translation.manhattanLength() < 1) {
            return;
        }
        m_startFrame = m_window->geometry();
    }
    m_window->setGeometry(recorder::resizedFrame(*m_startFrame, m_edges, translation));
}

void ResizeHandle::mouseReleaseEvent(QMouseEvent*) {
    m_startFrame.reset();
}

}  // namespace mirelo
