#pragma once

#include "ui/recorder/RecorderGeometry.h"

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <optional>

namespace mirelo {

namespace x11 {
class InputCatcher;
}

class RecorderHeader;
class ResizeHandle;
class SessionModel;

// The recording frame: a borderless, always-on-top window made of the header
// and a see-through capture area with a coloured outline, resized by eight
// invisible handles and moved by dragging its background.
//
// Without a compositing manager a translucent window shows black where it
// paints nothing, so the capture area is then cut out of the window's shape:
// what lies beneath stays visible, and only the outline, corner marks and
// header remain. While a recording runs the window switches to its recording
// layout (see recorder::recordingLayout): nothing of it lies inside the
// recorded rectangle, and only the header takes clicks.
class RecorderWindow : public QWidget {
    Q_OBJECT

public:
    explicit RecorderWindow(SessionModel* model, QWidget* parent = nullptr);
    ~RecorderWindow() override;

    RecorderHeader* header() const { return m_header; }
    const QList<ResizeHandle*>& handles() const { return m_handles; }

    // The capture area in window coordinates.
    QRect captureRect() const;

    // Moves and sizes the window to `frame`, which may be smaller than the
    // minimum size a user can drag the window to.
    void setFrame(const QRect& frame);

    // Switches to the recording layout; the window keeps its normal frame to
    // return to when the layout ends.
    void enterRecordingLayout(const recorder::RecordingLayout& layout);
    void leaveRecordingLayout();
    const std::optional<recorder::RecordingLayout>& recordingLayout() const { return m_recording; }

    // What the window shows and where it takes clicks, in window coordinates;
    // an empty optional means the whole window.
    std::optional<QRegion> boundingRegion() const;
    std::optional<QRegion> inputRegion() const;

    // The part of the capture area off its screen, which a recording leaves
    // out (window coordinates); the window hatches it.
    QRegion unrecordedArea() const;

    // Whether the capture area is cut out of the window while idle. Follows
    // the presence of a compositing manager unless a test sets it.
    void setCutsOutCaptureArea(bool cut);
    bool cutsOutCaptureArea() const { return m_cutOut; }
    // Whether an invisible input window catches the mouse over the cut-out
    // capture area (so that it can still be dragged and resized there).
    bool catchesCaptureAreaInput() const;

signals:
    // The window's size changed while it was in its normal layout.
    void frameResized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateHandleMasks();
    void relayout();
    void applyShapes();
    QColor outlineColor() const;
    // The recording under way follows a window: the frame shows its header only.
    bool followsWindow() const;
    void updateCatcher();
    void beginPointerDrag(const QPoint& global);
    void continuePointerDrag(const QPoint& global);

    QPointer<SessionModel> m_model;
    RecorderHeader* m_header = nullptr;
    QList<ResizeHandle*> m_handles;
    std::optional<recorder::RecordingLayout> m_recording;
    QRect m_normalFrame;
    std::optional<QPoint> m_dragOffset;
    // A drag caught over the cut-out capture area: where it began and, when
    // it started on a resize handle, the handle's edges and the frame then.
    QPoint m_catchPress;
    recorder::Edges m_catchEdges;
    QRect m_catchStartFrame;
    x11::InputCatcher* m_catcher = nullptr;
    bool m_cutOut = false;
    QRegion m_shownUnrecorded;  // the unrecorded area as last drawn
};

}  // namespace mirelo
