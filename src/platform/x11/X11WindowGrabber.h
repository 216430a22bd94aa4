#pragma once

#include "capture/CaptureBackend.h"
#include "platform/x11/X11FrameGrabber.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace mirelo::x11 {

// Reads one window's own pixels, wherever it is and whatever covers it: the window is
// redirected off-screen through Composite (automatically, so it still shows as before) and its
// pixmap is named and read with shared memory. The pixmap is named again when the window is
// resized or mapped again, since the server then gives it a new one.
//
// The frames keep the size the window had at the start: a window that grows is cut at its
// right and bottom, one that shrinks leaves the rest black. An unmapped window keeps its last
// picture. Read thread only, apart from convert().
class WindowGrabber {
public:
    // Prepares reads of `window` (with the window manager's frame when it asks for
    // decorations). Check failure() afterwards.
    WindowGrabber(Connection& connection, const CaptureWindow& window, bool showsCursor,
                  int slotCount);
    ~WindowGrabber();
    WindowGrabber(const WindowGrabber&) = delete;
    WindowGrabber& operator=(const WindowGrabber&) = delete;

    std::optional<QString> failure() const;
    // The size of every frame.
    QSize size() const { return m_size; }
    // Where the recorded window lies on the root window (device pixels) when the stream starts.
    QRect rootFrame() const { return m_rootFrame; }
    // The window that is read: the frame window of the window manager or the client itself.
    xcb_window_t target() const { return m_target; }

    // Takes the connection's pending events; true once the window has been destroyed.
    bool handleEvents();
    bool closed() const { return m_closed; }

    FrameGrabber::ReadStatus read(RawFrame& frame);
    Image convert(RawFrame&& frame) { return m_grabber->convert(std::move(frame)); }

private:
    // Names the window's current pixmap and reads from it; keeps the old one when the window
    // has none (it is not viewable).
    void nameCurrentPixmap();
    void handle(const xcb_generic_event_t* event);

    Connection& m_connection;
    xcb_window_t m_client = XCB_NONE;
    xcb_window_t m_target = XCB_NONE;
    bool m_redirected = false;
    xcb_pixmap_t m_pixmap = XCB_NONE;
    QSize m_pixmapSize;
    QSize m_size;
    QRect m_rootFrame;
    uint16_t m_border = 0;
    bool m_showsCursor = false;
    bool m_closed = false;
    bool m_targetDestroyed = false;
    std::optional<QString> m_failure;
    std::unique_ptr<FrameGrabber> m_grabber;
};

}  // namespace mirelo::x11
