#include "platform/x11/X11WindowShape.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mirelo::x11 {

namespace {

xcb_connection_t* connection() {
    if (!isAvailable()) {
        return nullptr;
    }
    auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return native ? native->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t atom = reply->atom;
    free(reply);
    return atom;
}

std::vector<xcb_rectangle_t> physicalRects(const QRegion& region, qreal ratio) {
    std::vector<xcb_rectangle_t> rects;
    for (const QRect& r : region) {
        const auto x0 = static_cast<long>(std::lround(r.x() * ratio));
        const auto y0 = static_cast<long>(std::lround(r.y() * ratio));
        const auto x1 = static_cast<long>(std::lround((r.x() + r.width()) * ratio));
        const auto y1 = static_cast<long>(std::lround((r.y() + r.height()) * ratio));
        if (x1 <= x0 || y1 <= y0) {
            continue;
        }
        rects.push_back(xcb_rectangle_t{static_cast<int16_t>(x0), static_cast<int16_t>(y0),
                                        static_cast<uint16_t>(x1 - x0),
                                        static_cast<uint16_t>(y1 - y0)});
    }
    return rects;
}

void setShape(QWindow* window, xcb_shape_kind_t kind, const QRegion& region) {
    xcb_connection_t* c = connection();
    if (!c || !window) {
        return;
    }
    const auto rects = physicalRects(region, window->devicePixelRatio());
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED,
                         static_cast<xcb_window_t>(window->winId()), 0, 0,
                         static_cast<uint32_t>(rects.size()), rects.data());
    flush();
}

}  // namespace

bool isAvailable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool isXWayland() {
    xcb_connection_t* c = connection();
    if (!c) {
        return false;
    }
    // Newer XWayland servers announce themselves with an extension; with older ones the
    // session's Wayland display gives them away.
    static const bool xwayland = [c] {
        const char name[] = "XWAYLAND";
        xcb_query_extension_reply_t* reply =
            xcb_query_extension_reply(c, xcb_query_extension(c, sizeof(name) - 1, name), nullptr);
        const bool present = reply != nullptr && reply->present;
        free(reply);
        return present || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    }();
    return xwayland;
}

std::optional<QRect> nativeGeometry(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window) {
        return std::nullopt;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    if (!geometry) {
        return std::nullopt;
    }
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr);
    std::optional<QRect> rect;
    if (origin) {
        rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }
    free(origin);
    free(geometry);
    return rect;
}

bool hasCompositor() {
    xcb_connection_t* c = connection();
    if (!c) {
        return false;
    }
    // Qt uses the display's default screen, which is screen 0 on every
    // desktop this runs on.
    const QByteArray name = "_NET_WM_CM_S0";
    const xcb_atom_t atom = internAtom(c, name.constData());
    if (atom == XCB_ATOM_NONE) {
        return false;
    }
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr);
    if (!reply) {
        return false;
    }
    const bool owned = reply->owner != XCB_WINDOW_NONE;
    free(reply);
    return owned;
}

void setBoundingShape(QWindow* window, const QRegion& region) {
    setShape(window, XCB_SHAPE_SK_BOUNDING, region);
}

void setInputShape(QWindow* window, const QRegion& region) {
    setShape(window, XCB_SHAPE_SK_INPUT, region);
}

void clearShapes(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_NONE);
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
    flush();
}

void setOnAllDesktops(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window) {
        return;
    }
    const xcb_atom_t desktop = internAtom(c, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const uint32_t all = 0xFFFFFFFFu;
    // The property covers a window that is not mapped yet; the message asks
    // the window manager to move a mapped one.
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &all);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (screen) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = desktop;
        event.data.data32[0] = all;
        event.data.data32[1] = 1;  // from an application
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    }
    flush();
}

void flush() {
    if (xcb_connection_t* c = connection()) {
        xcb_flush(c);
    }
}

}  // namespace mirelo::x11
