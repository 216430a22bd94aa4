#include "platform/x11/X11Connection.h"

#include <xcb/randr.h>

#include <cstring>

namespace mirelo::x11 {

namespace {

// Opens `displayName` (empty: $DISPLAY) and returns the connection with its
// default screen, or nullptr with nothing left open.
xcb_connection_t* openWithScreen(const char* displayName, xcb_screen_t** screen) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    if (connection == nullptr || xcb_connection_has_error(connection)) {
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    *screen = it.data;
    return connection;
}

}  // namespace

xcb_connection_t* connectToDefaultScreen(xcb_window_t* root) {
    xcb_screen_t* screen = nullptr;
    xcb_connection_t* connection = openWithScreen(nullptr, &screen);
    if (connection != nullptr) {
        *root = screen->root;
    }
    return connection;
}

Connection::Connection(const QByteArray& displayName) {
    m_connection =
        openWithScreen(displayName.isEmpty() ? nullptr : displayName.constData(), &m_screen);
}

Connection::~Connection() {
    if (m_connection != nullptr) {
        xcb_disconnect(m_connection);
    }
}

QRect Connection::rootGeometry() const {
    if (!ok()) {
        return {};
    }
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, root()), nullptr));
    if (!geometry) {
        return {};
    }
    return QRect(0, 0, geometry->width, geometry->height);
}

std::vector<Monitor> Connection::monitors() const {
    std::vector<Monitor> result;
    if (!ok()) {
        return result;
    }
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(m_connection, &xcb_randr_id);
    if (randr != nullptr && randr->present) {
        Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
            m_connection, xcb_randr_query_version(m_connection, 1, 5), nullptr));
        if (version && (version->major_version > 1 ||
                        (version->major_version == 1 && version->minor_version >= 5))) {
            Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
                m_connection, xcb_randr_get_monitors(m_connection, root(), 1), nullptr));
            if (reply) {
                xcb_randr_monitor_info_iterator_t it =
                    xcb_randr_get_monitors_monitors_iterator(reply.get());
                for (; it.rem > 0; xcb_randr_monitor_info_next(&it)) {
                    const xcb_randr_monitor_info_t* info = it.data;
                    Monitor monitor;
                    monitor.id = info->name;
                    monitor.name = atomName(info->name);
                    monitor.frame = QRect(info->x, info->y, info->width, info->height);
                    monitor.primary = info->primary != 0;
                    if (monitor.frame.isEmpty()) {
                        continue;
                    }
                    if (monitor.primary) {
                        result.insert(result.begin(), monitor);
                    } else {
                        result.push_back(monitor);
                    }
                }
            }
        }
    }
    if (result.empty()) {
        const QRect rootRect = rootGeometry();
        if (!rootRect.isEmpty()) {
            result.push_back(Monitor{0, QString(), rootRect, true});
        }
    }
    return result;
}

xcb_atom_t Connection::atom(const char* name, bool onlyIfExists) const {
    if (!ok()) {
        return XCB_ATOM_NONE;
    }
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_connection,
                              xcb_intern_atom(m_connection, onlyIfExists ? 1 : 0,
                                              static_cast<uint16_t>(std::strlen(name)), name),
                              nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

QString Connection::atomName(xcb_atom_t atom) const {
    if (!ok() || atom == XCB_ATOM_NONE) {
        return {};
    }
    Reply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    if (!reply) {
        return {};
    }
    return QString::fromUtf8(xcb_get_atom_name_name(reply.get()),
                             xcb_get_atom_name_name_length(reply.get()));
}

std::vector<uint32_t> Connection::property32(xcb_window_t window, xcb_atom_t property,
                                             xcb_atom_t type) const {
    std::vector<uint32_t> values;
    if (!ok() || property == XCB_ATOM_NONE) {
        return values;
    }
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 32 || reply->type != type) {
        return values;
    }
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    values.assign(data, data + count);
    return values;
}

}  // namespace mirelo::x11
