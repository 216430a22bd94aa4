#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QSocketNotifier;
class QWindow;

typedef struct xcb_connection_t xcb_connection_t;

namespace mirelo::x11 {

// An invisible X window (InputOnly) that takes the mouse over a rectangle of
// the screen. It lets a window whose middle is cut out of its shape — so
// that what lies beneath shows without a compositing manager — still catch
// presses and drags there. It is stacked just above the window it serves and
// speaks to the X server over a connection of its own.
//
// Main thread only. Does nothing when the application does not run on X11.
class InputCatcher : public QObject {
    Q_OBJECT

public:
    explicit InputCatcher(QObject* parent = nullptr);
    ~InputCatcher() override;

    bool isValid() const { return m_connection != nullptr; }

    // Covers `rect` (global, device-independent pixels of `window`'s screen)
    // and stacks the catcher right above `window`. An empty rectangle hides it.
    void place(QWindow* window, const QRect& rect);
    void hide();
    bool isShown() const { return m_shown; }

signals:
    // Left-button press, drag and release, in global device-independent
    // pixels.
    void pressed(QPoint global);
    void dragged(QPoint global);
    void released(QPoint global);

private:
    void readEvents();
    QPoint toLogical(int x, int y) const;

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_window = 0;
    uint32_t m_root = 0;
    QSocketNotifier* m_notifier = nullptr;
    bool m_shown = false;
    qreal m_ratio = 1.0;
    QPoint m_screenOrigin;
};

}  // namespace mirelo::x11
