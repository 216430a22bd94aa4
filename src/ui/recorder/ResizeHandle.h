#pragma once

#include "ui/recorder/RecorderGeometry.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <optional>

namespace mirelo {

// One invisible handle along an edge or at a corner of the recorder window.
// Dragging it resizes the window on its sides; the opposite sides stay put
// and the window never gets smaller than the minimum size.
class ResizeHandle : public QWidget {
    Q_OBJECT

public:
    ResizeHandle(recorder::Edges edges, QWidget* window);

    recorder::Edges edges() const { return m_edges; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    recorder::Edges m_edges;
    QWidget* m_window;
    QPoint m_pressPosition;
    // The window frame when the current drag began; empty between drags.
    std::optional<QRect> m_startFrame;
};

}  // namespace mirelo
