#include "platform/x11/X11InputCatcher.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowShape.h"

#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>

namespace mirelo::x11 {

namespace {

// The window's top-level ancestor below the root: the window manager's frame
// around it, or the window itself without a window manager.
xcb_window_t topLevelOf(xcb_connection_t* c, xcb_window_t window, xcb_window_t root) {
    xcb_window_t current = window;
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr);
        if (!tree) {
            return current;
        }
        const xcb_window_t parent = tree->parent;
        free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE) {
            return current;
        }
        current = parent;
    }
    return current;
}

}  // namespace

InputCatcher::InputCatcher(QObject* parent) : QObject(parent) {
    if (!isAvailable()) {
        return;
    }
    xcb_window_t root = XCB_NONE;
    xcb_connection_t* c = x11::connectToDefaultScreen(&root);
    if (!c) {
        return;
    }
    m_connection = c;
    m_root = root;
    m_window = xcb_generate_id(c);
    // Override-redirect: the window manager neither frames nor moves it.
    const uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                      XCB_EVENT_MASK_BUTTON_MOTION};
    xcb_create_window(c, 0, m_window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_flush(c);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InputCatcher::readEvents);
}

InputCatcher::~InputCatcher() {
    if (m_connection) {
        delete m_notifier;
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
        xcb_disconnect(m_connection);
    }
}

void InputCatcher::place(QWindow* window, const QRect& rect) {
    if (!m_connection || !window || rect.isEmpty()) {
        hide();
        return;
    }
    m_ratio = window->devicePixelRatio();
    m_screenOrigin = window->screen() ? window->screen()->geometry().topLeft() : QPoint();
    const auto toNative = [this](int v, int origin) {
        return static_cast<int32_t>(std::lround((v - origin) * m_ratio + origin));
    };
    const int32_t x0 = toNative(rect.x(), m_screenOrigin.x());
    const int32_t y0 = toNative(rect.y(), m_screenOrigin.y());
    const int32_t x1 = toNative(rect.x() + rect.width(), m_screenOrigin.x());
    const int32_t y1 = toNative(rect.y() + rect.height(), m_screenOrigin.y());
    if (x1 <= x0 || y1 <= y0) {
        hide();
        return;
    }
    const xcb_window_t sibling =
        topLevelOf(m_connection, static_cast<xcb_window_t>(window->winId()), m_root);
    const uint32_t values[] = {static_cast<uint32_t>(x0),
                               static_cast<uint32_t>(y0),
                               static_cast<uint32_t>(x1 - x0),
                               static_cast<uint32_t>(y1 - y0),
                               sibling,
                               XCB_STACK_MODE_ABOVE};
    xcb_configure_window(m_connection, m_window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_SIBLING |
                             XCB_CONFIG_WINDOW_STACK_MODE,
                         values);
    if (!m_shown) {
        xcb_map_window(m_connection, m_window);
        // Mapping raises it to the top; put it back right above its window.
        xcb_configure_window(m_connection, m_window,
                             XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values + 4);
        m_shown = true;
    }
    xcb_flush(m_connection);
    // The round trips above may have queued events without the socket
    // becoming readable again.
    QMetaObject::invokeMethod(this, &InputCatcher::readEvents, Qt::QueuedConnection);
}

void InputCatcher::hide() {
    if (!m_connection || !m_shown) {
        return;
    }
    xcb_unmap_window(m_connection, m_window);
    xcb_flush(m_connection);
    m_shown = false;
}

QPoint InputCatcher::toLogical(int x, int y) const {
    return QPoint(
        static_cast<int>(std::lround((x - m_screenOrigin.x()) / m_ratio)) + m_screenOrigin.x(),
        static_cast<int>(std::lround((y - m_screenOrigin.y()) / m_ratio)) + m_screenOrigin.y());
}

void InputCatcher::readEvents() {
    if (!m_connection) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        switch (event->response_type & 0x7f) {
            case XCB_BUTTON_PRESS: {
                auto* press = reinterpret_cast<xcb_button_press_event_t*>(event);
                if (press->detail == 1) {
                    emit pressed(toLogical(press->root_x, press->root_y));
                }
                break;
            }
            case XCB_MOTION_NOTIFY: {
                auto* motion = reinterpret_cast<xcb_motion_notify_event_t*>(event);
                emit dragged(toLogical(motion->root_x, motion->root_y));
                break;
            }
            case XCB_BUTTON_RELEASE: {
                auto* release = reinterpret_cast<xcb_button_release_event_t*>(event);
                if (release->detail == 1) {
                    emit released(toLogical(release->root_x, release->root_y));
                }
                break;
            }
            default:
                break;
        }
        free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        // The server went away: stop listening rather than spin.
        m_notifier->setEnabled(false);
    }
}

}  // namespace mirelo::x11
