#include "platform/x11/X11WindowGrabber.h"

#include <QCoreApplication>

#include <xcb/composite.h>

#include <cstdlib>

namespace mirelo::x11 {

namespace {

QString windowGoneText() {
    return QCoreApplication::translate("mirelo::X11WindowGrabber", "要录制的窗口已不存在。");
}
QString noCompositeText() {
    return QCoreApplication::translate("mirelo::X11WindowGrabber",
                                       "X 显示服务器不支持录制单个窗口(缺少 Composite 扩展)。");
}
QString notViewableText() {
    return QCoreApplication::translate("mirelo::X11WindowGrabber",
                                       "要录制的窗口没有显示在屏幕上。");
}
QString unsupportedDepthText() {
    return QCoreApplication::translate("mirelo::X11WindowGrabber", "不支持这个窗口的像素格式。");
}

// The top-level window holding `window`: the window manager's frame around it, or the window
// itself where none was put around it.
xcb_window_t topLevelOf(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    xcb_window_t current = window;
    // Window trees are shallow; the bound only guards against a tree changing under us.
    for (int depth = 0; depth < 64; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree) {
            return XCB_NONE;
        }
        if (tree->parent == root || tree->parent == XCB_NONE) {
            return current;
        }
        current = tree->parent;
    }
    return current;
}

bool hasNamedPixmaps(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* composite = xcb_get_extension_data(c, &xcb_composite_id);
    if (composite == nullptr || !composite->present) {
        return false;
    }
    Reply<xcb_composite_query_version_reply_t> version(
        xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
    return version && (version->major_version > 0 || version->minor_version >= 2);
}

}  // namespace

WindowGrabber::WindowGrabber(Connection& connection, const CaptureWindow& window, bool showsCursor,
                             int slotCount)
    : m_connection(connection), m_client(window.id), m_showsCursor(showsCursor) {
    if (!m_connection.ok()) {
        m_failure =
            QCoreApplication::translate("mirelo::X11FrameGrabber", "无法连接到 X 显示服务器。");
        return;
    }
    xcb_connection_t* c = m_connection.get();
    if (!hasNamedPixmaps(c)) {
        m_failure = noCompositeText();
        return;
    }
    m_target = window.withDecorations ? topLevelOf(c, m_connection.root(), m_client) : m_client;
    Reply<xcb_get_window_attributes_reply_t> attributes;
    if (m_target != XCB_NONE) {
        attributes.reset(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_target), nullptr));
    }
    if (!attributes) {
        m_failure = windowGoneText();
        return;
    }
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        m_failure = notViewableText();
        return;
    }
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, m_target), nullptr));
    if (!geometry) {
        m_failure = windowGoneText();
        return;
    }
    if (geometry->depth != 24 && geometry->depth != 32) {
        m_failure = unsupportedDepthText();
        return;
    }
    m_border = geometry->border_width;

    // Both the window read and the application's window tell when they go away; the frame
    // says when it is moved or resized.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, m_target, XCB_CW_EVENT_MASK, &mask);
    if (m_client != m_target) {
        xcb_change_window_attributes(c, m_client, XCB_CW_EVENT_MASK, &mask);
    }
    // Automatic redirection keeps the window on screen as it was, and its pixels in a pixmap
    // of its own even where it is covered or off the screen.
    Reply<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_composite_redirect_window_checked(c, m_target, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
    if (error) {
        m_failure = windowGoneText();
        return;
    }
    m_redirected = true;
    nameCurrentPixmap();
    if (m_pixmap == XCB_NONE) {
        m_failure = notViewableText();
        return;
    }
    m_size = m_pixmapSize;
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, m_target, m_connection.root(), 0, 0), nullptr));
    const QPoint topLeft =
        origin ? QPoint(origin->dst_x - m_border, origin->dst_y - m_border) : QPoint();
    m_rootFrame = QRect(topLeft, m_size);
    m_grabber = std::make_unique<FrameGrabber>(m_connection, QRect(QPoint(0, 0), m_size), m_size,
                                               showsCursor, slotCount, m_target);
    m_grabber->setDrawable(m_pixmap, m_pixmapSize);
    m_grabber->setOrigin(topLeft);
}

WindowGrabber::~WindowGrabber() {
    // The reads' shared memory goes before the pixmap they read from.
    m_grabber.reset();
    if (!m_connection.ok()) {
        return;
    }
    xcb_connection_t* c = m_connection.get();
    if (m_pixmap != XCB_NONE) {
        xcb_free_pixmap(c, m_pixmap);
    }
    // A window already destroyed took its redirection with it.
    if (m_redirected && !m_targetDestroyed) {
        xcb_composite_unredirect_window(c, m_target, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    }
    xcb_flush(c);
}

std::optional<QString> WindowGrabber::failure() const {
    if (m_failure) {
        return m_failure;
    }
    return m_grabber ? m_grabber->failure() : std::nullopt;
}

void WindowGrabber::nameCurrentPixmap() {
    xcb_connection_t* c = m_connection.get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, m_target, pixmap)));
    if (error) {
        return;  // not viewable now: the last picture stays
    }
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
    if (!geometry) {
        xcb_free_pixmap(c, pixmap);
        return;
    }
    if (m_grabber) {
        m_grabber->setDrawable(pixmap, QSize(geometry->width, geometry->height));
    }
    if (m_pixmap != XCB_NONE) {
        xcb_free_pixmap(c, m_pixmap);
    }
    m_pixmap = pixmap;
    m_pixmapSize = QSize(geometry->width, geometry->height);
}

bool WindowGrabber::handleEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection.get())) {
        handle(event);
        std::free(event);
    }
    return m_closed;
}

void WindowGrabber::handle(const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
        case XCB_DESTROY_NOTIFY: {
            const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (destroyed->window == m_target || destroyed->window == m_client) {
                m_closed = true;
                m_targetDestroyed = m_targetDestroyed || destroyed->window == m_target;
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto* configured = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            if (configured->window != m_target) {
                break;
            }
            m_border = configured->border_width;
            const QSize outer(configured->width + 2 * m_border, configured->height + 2 * m_border);
            // A resized window has been given a new pixmap.
            if (outer != m_pixmapSize) {
                nameCurrentPixmap();
            }
            break;
        }
        case XCB_MAP_NOTIFY: {
            const auto* mapped = reinterpret_cast<const xcb_map_notify_event_t*>(event);
            if (mapped->window == m_target) {
                nameCurrentPixmap();
            }
            break;
        }
        default:
            break;  // errors of unchecked requests, and the client's own changes
    }
}

FrameGrabber::ReadStatus WindowGrabber::read(RawFrame& frame) {
    if (!m_grabber) {
        return FrameGrabber::ReadStatus::failed;
    }
    // Where the window is goes out with the read, for the pointer; no extra round trip.
    xcb_connection_t* c = m_connection.get();
    xcb_translate_coordinates_cookie_t cookie{};
    if (m_showsCursor) {
        cookie = xcb_translate_coordinates_unchecked(c, m_target, m_connection.root(), 0, 0);
    }
    const FrameGrabber::ReadStatus status = m_grabber->read(frame);
    if (m_showsCursor) {
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, cookie, nullptr));
        if (origin) {
            const QPoint topLeft(origin->dst_x - m_border, origin->dst_y - m_border);
            m_grabber->setOrigin(topLeft);
            frame.origin = topLeft;
        }
    }
    return status;
}

}  // namespace mirelo::x11
