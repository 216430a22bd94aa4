#include "platform/WindowPicker.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowList.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

#include <cmath>
#include <cstdlib>

namespace mirelo {

namespace {

constexpr uint32_t kEscapeKeysym = 0xff1b;
constexpr uint16_t kCrosshairGlyph = 34;  // XC_crosshair in the core cursor font
constexpr int kGrabAttempts = 40;         // 40 x 50 ms: a held button or menu grab ends first
constexpr int kGrabRetryMs = 50;

uint32_t ownPid() {
    return static_cast<uint32_t>(::getpid());
}

// Qt places a screen's points at its device-pixel origin and divides its size by the ratio.
// Finds the screen containing a device pixel and its ratio; ratio 1 where no screen matches.
std::pair<QPointF, qreal> screenMapping(const QPointF& devicePixel) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const qreal ratio = screen->devicePixelRatio();
        const QRect logical = screen->geometry();
        const QRectF native(logical.topLeft(), QSizeF(logical.size()) * ratio);
        if (native.contains(devicePixel)) {
            return {QPointF(logical.topLeft()), ratio};
        }
    }
    return {QPointF(), 1.0};
}

QRectF toPoints(const QRect& devicePixels) {
    const auto [origin, ratio] = screenMapping(QRectF(devicePixels).center());
    return QRectF((QPointF(devicePixels.topLeft()) - origin) / ratio + origin,
                  QSizeF(devicePixels.size()) / ratio);
}

QPoint toDevicePixels(const QPointF& point) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (QRectF(screen->geometry()).contains(point)) {
            const QPointF origin(screen->geometry().topLeft());
            const QPointF device = (point - origin) * screen->devicePixelRatio() + origin;
            return QPoint(static_cast<int>(std::floor(device.x())),
                          static_cast<int>(std::floor(device.y())));
        }
    }
    return QPoint(static_cast<int>(std::floor(point.x())), static_cast<int>(std::floor(point.y())));
}

bool containsPixel(const QRect& rect, const QPoint& p) {
    return p.x() >= rect.left() && p.x() < rect.left() + rect.width() && p.y() >= rect.top() &&
           p.y() < rect.top() + rect.height();
}

// The front-most suitable window under `at`, as WindowPicker::windowFrame() describes it.
const WindowListEntry* suitableAt(const QPoint& at,
                                  const std::vector<WindowListEntry>& frontMostFirst,
                                  uint32_t ownPid, qreal ratio) {
    const qreal minimum = WindowPicker::kMinimumSide * (ratio > 0 ? ratio : 1.0);
    for (const WindowListEntry& window : frontMostFirst) {
        if (!window.pid || *window.pid == ownPid) {
            continue;
        }
        if (!window.isNormal || window.isAbove) {
            continue;
        }
        if (window.bounds.width() < minimum || window.bounds.height() < minimum) {
            continue;
        }
        if (containsPixel(window.bounds, at)) {
            return &window;
        }
    }
    return nullptr;
}

}  // namespace

// One pick in progress: its own display connection holding the pointer and keyboard grabs.
struct WindowPicker::Session {
    x11::Connection connection;
    xcb_cursor_t cursor = XCB_NONE;
    std::vector<xcb_keycode_t> escapeKeys;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer retry;
    int attempts = 0;
    bool pointerGrabbed = false;
    bool keyboardGrabbed = false;
    std::optional<QPoint> pressedAt;

    Session() {
        if (!connection.ok()) {
            return;
        }
        xcb_connection_t* c = connection.get();
        const xcb_font_t font = xcb_generate_id(c);
        xcb_open_font(c, font, 6, "cursor");
        cursor = xcb_generate_id(c);
        xcb_create_glyph_cursor(c, cursor, font, font, kCrosshairGlyph, kCrosshairGlyph + 1, 0, 0,
                                0, 0xffff, 0xffff, 0xffff);
        xcb_close_font(c, font);
        escapeKeys = findEscapeKeys();
    }

    ~Session() {
        if (connection.ok()) {
            xcb_connection_t* c = connection.get();
            if (pointerGrabbed) {
                xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
            }
            if (keyboardGrabbed) {
                xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
            }
            if (cursor != XCB_NONE) {
                xcb_free_cursor(c, cursor);
            }
            xcb_flush(c);
        }
    }

    std::vector<xcb_keycode_t> findEscapeKeys() {
        xcb_connection_t* c = connection.get();
        const xcb_setup_t* setup = xcb_get_setup(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        x11::Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<uint8_t>(count)),
            nullptr));
        std::vector<xcb_keycode_t> keys;
        if (!mapping || mapping->keysyms_per_keycode == 0) {
            return keys;
        }
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        for (int i = 0; i < length; ++i) {
            if (syms[i] == kEscapeKeysym) {
                keys.push_back(static_cast<xcb_keycode_t>(setup->min_keycode +
                                                          i / mapping->keysyms_per_keycode));
            }
        }
        return keys;
    }

    // Tries to take both grabs; true once both are held.
    bool grab() {
        xcb_connection_t* c = connection.get();
        if (!pointerGrabbed) {
            x11::Reply<xcb_grab_pointer_reply_t> reply(xcb_grab_pointer_reply(
                c,
                xcb_grab_pointer(c, 0, connection.root(),
                                 XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, cursor,
                                 XCB_CURRENT_TIME),
                nullptr));
            pointerGrabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        }
        if (!keyboardGrabbed) {
            x11::Reply<xcb_grab_keyboard_reply_t> reply(
                xcb_grab_keyboard_reply(c,
                                        xcb_grab_keyboard(c, 0, connection.root(), XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr));
            keyboardGrabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        }
        xcb_flush(c);
        return pointerGrabbed && keyboardGrabbed;
    }
};

WindowPicker::WindowPicker() : m_source(std::make_shared<X11WindowList>()) {}

WindowPicker::~WindowPicker() = default;

WindowPicker& WindowPicker::shared() {
    static WindowPicker* picker = new WindowPicker();
    return *picker;
}

void WindowPicker::setWindowListSource(std::shared_ptr<WindowListSource> source) {
    m_source = source ? std::move(source) : std::make_shared<X11WindowList>();
}

bool WindowPicker::isPicking() const {
    return static_cast<bool>(m_completion);
}

void WindowPicker::begin(Completion completion) {
    cancel();
    m_completion = std::move(completion);
    if (!m_completion) {
        return;
    }
    m_session = std::make_unique<Session>();
    Session* session = m_session.get();
    if (!session->connection.ok()) {
        // No display to pick on: end with nothing, from the event loop.
        QTimer::singleShot(0, this, [this, session] {
            if (m_session.get() == session) {
                finish(std::nullopt);
            }
        });
        return;
    }

    session->notifier = std::make_unique<QSocketNotifier>(
        xcb_get_file_descriptor(session->connection.get()), QSocketNotifier::Read);
    auto readEvents = [this, session] {
        while (m_session.get() == session) {
            xcb_generic_event_t* event = xcb_poll_for_event(session->connection.get());
            if (event == nullptr) {
                break;
            }
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_BUTTON_PRESS) {
                const auto* press = reinterpret_cast<xcb_button_press_event_t*>(event);
                if (press->detail == 1) {
                    session->pressedAt = QPoint(press->root_x, press->root_y);
                }
            } else if (type == XCB_BUTTON_RELEASE) {
                const auto* release = reinterpret_cast<xcb_button_release_event_t*>(event);
                // Picking on release lets the click end inside our grab, so no window sees
                // half of it.
                if (release->detail == 1 && session->pressedAt) {
                    const QPoint at = *session->pressedAt;
                    std::free(event);
                    onClick(at);
                    return;
                }
            } else if (type == XCB_KEY_PRESS) {
                const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
                const bool escape =
                    std::find(session->escapeKeys.begin(), session->escapeKeys.end(),
                              key->detail) != session->escapeKeys.end();
                if (escape) {
                    std::free(event);
                    finish(std::nullopt);
                    return;
                }
            }
            std::free(event);
        }
        if (m_session.get() == session && !session->connection.ok()) {
            finish(std::nullopt);
        }
    };
    connect(session->notifier.get(), &QSocketNotifier::activated, this, readEvents);

    // The click that opened the picker (a menu item) may still hold a grab: retry briefly.
    session->retry.setInterval(kGrabRetryMs);
    connect(&session->retry, &QTimer::timeout, this, [this, session, readEvents] {
        if (m_session.get() != session) {
            return;
        }
        if (session->grab()) {
            session->retry.stop();
            readEvents();
            return;
        }
        if (++session->attempts >= kGrabAttempts) {
            finish(std::nullopt);
        }
    });
    if (session->grab()) {
        QTimer::singleShot(0, this, readEvents);
    } else {
        session->retry.start();
    }
}

void WindowPicker::cancel() {
    m_completion = nullptr;
    if (m_session) {
        // Deleted later: cancel() may run inside one of the session's own callbacks.
        Session* session = m_session.release();
        session->retry.stop();
        if (session->notifier) {
            session->notifier->setEnabled(false);
        }
        QTimer::singleShot(0, [session] { delete session; });
        // Release the grabs now, not when the event loop comes round.
        if (session->connection.ok()) {
            xcb_connection_t* c = session->connection.get();
            if (session->pointerGrabbed) {
                xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
                session->pointerGrabbed = false;
            }
            if (session->keyboardGrabbed) {
                xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
                session->keyboardGrabbed = false;
            }
            // A round trip: the server has released the grabs before the caller goes on, so a
            // click or grab that follows at once (ours or another program's) is not refused.
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        }
    }
}

void WindowPicker::finish(std::optional<PickedWindow> picked) {
    Completion completion = std::move(m_completion);
    cancel();
    if (completion) {
        completion(picked);
    }
}

void WindowPicker::onClick(const QPoint& devicePixel) {
    std::optional<PickedWindow> picked;
    if (std::optional<std::vector<WindowListEntry>> windows = m_source->windowsFrontMostFirst()) {
        const qreal ratio = screenMapping(QPointF(devicePixel)).second;
        if (std::optional<WindowListEntry> entry =
                entryAt(devicePixel, *windows, ownPid(), ratio)) {
            picked = PickedWindow{toPoints(entry->bounds), entry->window};
        }
    }
    finish(picked);
}

std::optional<QRectF> WindowPicker::windowFrame(const QPointF& at) {
    std::optional<std::vector<WindowListEntry>> windows =
        shared().m_source->windowsFrontMostFirst();
    if (!windows) {
        return std::nullopt;
    }
    const QPoint device = toDevicePixels(at);
    const std::optional<QRect> frame =
        windowFrame(device, *windows, ownPid(), screenMapping(QPointF(device)).second);
    if (!frame) {
        return std::nullopt;
    }
    return toPoints(*frame);
}

std::optional<QRect> WindowPicker::windowFrame(const QPoint& at,
                                               const std::vector<WindowListEntry>& frontMostFirst,
                                               uint32_t ownPid, qreal ratio) {
    if (const WindowListEntry* window = suitableAt(at, frontMostFirst, ownPid, ratio)) {
        return window->bounds;
    }
    return std::nullopt;
}

std::optional<QRect> WindowPicker::pickAt(const QPoint& at,
                                          const std::vector<WindowListEntry>& frontMostFirst,
                                          uint32_t ownPid, qreal ratio) {
    if (std::optional<WindowListEntry> entry = entryAt(at, frontMostFirst, ownPid, ratio)) {
        return entry->bounds;
    }
    return std::nullopt;
}

std::optional<WindowListEntry> WindowPicker::entryAt(
    const QPoint& at, const std::vector<WindowListEntry>& frontMostFirst, uint32_t ownPid,
    qreal ratio) {
    for (const WindowListEntry& window : frontMostFirst) {
        if (containsPixel(window.bounds, at)) {
            if (window.pid && *window.pid == ownPid) {
                return std::nullopt;
            }
            break;
        }
    }
    if (const WindowListEntry* window = suitableAt(at, frontMostFirst, ownPid, ratio)) {
        return *window;
    }
    return std::nullopt;
}

std::optional<QString> WindowPicker::listingLimitation() {
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (wayland.isEmpty() && qgetenv("XDG_SESSION_TYPE") != "wayland") {
        return std::nullopt;
    }
    return tr("Wayland 下只能对齐 X11(XWayland)窗口,原生窗口无法列出。");
}

}  // namespace mirelo
