#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo::x11 {

// Owns a malloc'd xcb reply or error.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// One RandR monitor (or the whole root where RandR has none).
struct Monitor {
    uint32_t id = 0;  // the monitor's name atom; 0 for the root fallback
    QString name;
    QRect frame;  // device pixels, root coordinates
    bool primary = false;
};

// Opens a connection to $DISPLAY and finds its default screen's root window.
// Returns the connection, which the caller then owns and must xcb_disconnect(),
// or nullptr (nothing left open) when the display cannot be reached.
xcb_connection_t* connectToDefaultScreen(xcb_window_t* root);

// A display connection of our own, closed on destruction. Every call is made from the thread
// that uses the connection; xcb itself is thread-safe, the helpers here keep no shared state.
class Connection {
public:
    // `displayName` empty means $DISPLAY. Check ok() afterwards.
    explicit Connection(const QByteArray& displayName = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_connection != nullptr && !xcb_connection_has_error(m_connection); }
    xcb_connection_t* get() const { return m_connection; }
    xcb_screen_t* screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen ? m_screen->root : XCB_NONE; }

    // The root window's current size in device pixels; empty when the connection has failed.
    QRect rootGeometry() const;

    // RandR monitors, primary first then in the server's order; the whole root when RandR has
    // none to offer. Empty when the connection has failed.
    std::vector<Monitor> monitors() const;

    xcb_atom_t atom(const char* name, bool onlyIfExists = false) const;
    QString atomName(xcb_atom_t atom) const;

    // 32-bit values of a property (CARDINAL, WINDOW, ATOM arrays); empty when absent.
    std::vector<uint32_t> property32(xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type) const;

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
};

}  // namespace mirelo::x11
