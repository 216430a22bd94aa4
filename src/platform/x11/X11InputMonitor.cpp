#include "platform/x11/X11InputMonitor.h"

#include "capture/CaptureClock.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeyNames.h"

#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>

namespace mirelo::x11 {

namespace {

// Pointer positions are read at most this often while the pointer moves: more often than any
// recording takes frames.
constexpr std::chrono::milliseconds kPointerInterval{20};
// A pointer moved by a program (a warp) makes no raw motion: it is read this often anyway.
constexpr std::chrono::milliseconds kPointerCheck{100};

}  // namespace

struct InputMonitor::Impl {
    Connection connection;
    QRect source;
    QSize output;
    Deliver deliver;
    xcb_window_t follow = XCB_NONE;
    uint8_t xiOpcode = 0;
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    int wake = -1;
    std::thread thread;
    // Pointer reads: when the last one was, whether the pointer moved since, and the position
    // last reported.
    captureclock::Clock::time_point lastPointerRead{};
    bool motionPending = false;
    std::optional<QPoint> reportedPointer;

    Impl(const QByteArray& displayName, const QRect& src, const QSize& out, Deliver d)
        : connection(displayName), source(src), output(out), deliver(std::move(d)) {}

    ~Impl() {
        stop();
        if (state) {
            xkb_state_unref(state);
        }
        if (keymap) {
            xkb_keymap_unref(keymap);
        }
        if (context) {
            xkb_context_unref(context);
        }
    }

    bool setUp() {
        if (!connection.ok()) {
            return false;
        }
        xcb_connection_t* c = connection.get();
        const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
        if (!xi || !xi->present) {
            return false;
        }
        xiOpcode = xi->major_opcode;
        Reply<xcb_input_xi_query_version_reply_t> version(
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        if (!version || version->major_version < 2) {
            return false;
        }
        if (!xkb_x11_setup_xkb_extension(
                c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
            return false;
        }
        context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const int32_t keyboard = xkb_x11_get_core_keyboard_device_id(c);
        if (!context || keyboard < 0) {
            return false;
        }
        keymap = xkb_x11_keymap_new_from_device(context, c, keyboard, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!keymap) {
            return false;
        }
        // The modifiers held when recording starts; later ones follow the raw events.
        state = xkb_x11_state_new_from_device(keymap, c, keyboard);
        if (!state) {
            return false;
        }
        struct {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } selection{
            {XCB_INPUT_DEVICE_ALL_MASTER, 1},
            XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
                XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
        Reply<xcb_generic_error_t> error(xcb_request_check(
            c, xcb_input_xi_select_events_checked(c, connection.root(), 1, &selection.head)));
        if (error) {
            return false;
        }
        wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return wake >= 0;
    }

    void stop() {
        if (thread.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof(one));
            thread.join();
        }
        if (wake >= 0) {
            ::close(wake);
            wake = -1;
        }
    }

    uint32_t heldModifiers() const {
        uint32_t held = 0;
        const auto active = [this](const char* name) {
            return xkb_state_mod_name_is_active(state, name, XKB_STATE_MODS_EFFECTIVE) > 0;
        };
        if (active(XKB_MOD_NAME_CTRL)) {
            held |= modifierCtrl;
        }
        if (active(XKB_MOD_NAME_ALT)) {
            held |= modifierAlt;
        }
        if (active(XKB_MOD_NAME_SHIFT)) {
            held |= modifierShift;
        }
        if (active(XKB_MOD_NAME_LOGO)) {
            held |= modifierSuper;
        }
        return held;
    }

    void keyPressed(xkb_keycode_t key, const MediaTime& time) {
        const xkb_layout_index_t layout = xkb_state_key_get_layout(state, key);
        const xkb_keysym_t* syms = nullptr;
        const xkb_keysym_t base =
            xkb_keymap_key_get_syms_by_level(keymap, key, layout == XKB_LAYOUT_INVALID ? 0 : layout,
                                             0, &syms) > 0
                ? syms[0]
                : XKB_KEY_NoSymbol;
        const xkb_keysym_t shifted = xkb_state_key_get_one_sym(state, key);
        char text[64] = {};
        xkb_state_key_get_utf8(state, key, text, sizeof(text));
        std::optional<InputEvent> event =
            describeKey(base, shifted, QString::fromUtf8(text), heldModifiers());
        xkb_state_update_key(state, key, XKB_KEY_DOWN);
        if (event) {
            event->time = time;
            deliver(*event);
        }
    }

    // The pointer in the recording's pixels, read from the server now.
    std::optional<QPoint> pointerPosition() {
        xcb_connection_t* c = connection.get();
        Reply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(c, xcb_query_pointer(c, connection.root()), nullptr));
        if (!pointer) {
            return std::nullopt;
        }
        const double sx = source.width() > 0 ? double(output.width()) / source.width() : 1.0;
        const double sy = source.height() > 0 ? double(output.height()) / source.height() : 1.0;
        // A window being recorded may have moved: its pixels start where it is now.
        QPoint origin = source.topLeft();
        if (follow != XCB_NONE) {
            const auto offset = xcb_translate_coordinates(c, follow, connection.root(), 0, 0);
            const auto geometry = xcb_get_geometry(c, follow);
            Reply<xcb_translate_coordinates_reply_t> at(
                xcb_translate_coordinates_reply(c, offset, nullptr));
            Reply<xcb_get_geometry_reply_t> frame(xcb_get_geometry_reply(c, geometry, nullptr));
            if (at && frame) {
                origin = QPoint(at->dst_x - frame->border_width, at->dst_y - frame->border_width);
            }
        }
        return QPoint(int(std::floor((pointer->root_x - origin.x()) * sx)),
                      int(std::floor((pointer->root_y - origin.y()) * sy)));
    }

    void buttonChanged(bool pressed, uint32_t button, const MediaTime& time) {
        // Buttons 4 to 7 are the wheel's steps, not clicks.
        if (button < 1 || button > 3) {
            return;
        }
        const std::optional<QPoint> position = pointerPosition();
        if (!position) {
            return;
        }
        // The place read for the button is the pointer's too: a warp just before a click
        // would otherwise be reported only at the next periodic read, after the click.
        reportPointer(*position, time);
        InputEvent event;
        event.kind = pressed ? InputEvent::Kind::buttonPress : InputEvent::Kind::buttonRelease;
        event.time = time;
        event.button = int(button);
        event.position = *position;
        deliver(event);
    }

    // Reads the pointer and reports it when it moved since the last report. Raw motion only
    // says that the pointer moved (by device units), so the position is read from the server,
    // at most once per kPointerInterval however fast the device reports.
    void readPointer() {
        motionPending = false;
        lastPointerRead = captureclock::Clock::now();
        if (const std::optional<QPoint> position = pointerPosition()) {
            reportPointer(*position, captureclock::mediaTime(lastPointerRead));
        }
    }

    void reportPointer(const QPoint& position, const MediaTime& time) {
        if (position == reportedPointer) {
            return;
        }
        reportedPointer = position;
        InputEvent event;
        event.kind = InputEvent::Kind::pointerMove;
        event.time = time;
        event.position = position;
        deliver(event);
    }

    void pointerMoved() {
        if (captureclock::Clock::now() - lastPointerRead >= kPointerInterval) {
            readPointer();
        } else {
            motionPending = true;  // read once the interval has passed
        }
    }

    // How long poll() may wait: until the next pointer read is due.
    int pollTimeout() const {
        const auto due = lastPointerRead + (motionPending ? kPointerInterval : kPointerCheck);
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(due - captureclock::Clock::now());
        return int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

    void handle(xcb_generic_event_t* generic) {
        if ((generic->response_type & 0x7f) != XCB_GE_GENERIC) {
            return;
        }
        auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(generic);
        if (ge->extension != xiOpcode) {
            return;
        }
        const MediaTime now = captureclock::mediaTime(captureclock::Clock::now());
        switch (ge->event_type) {
            case XCB_INPUT_RAW_KEY_PRESS:
                keyPressed(reinterpret_cast<xcb_input_raw_key_press_event_t*>(ge)->detail, now);
                break;
            case XCB_INPUT_RAW_KEY_RELEASE:
                xkb_state_update_key(
                    state, reinterpret_cast<xcb_input_raw_key_release_event_t*>(ge)->detail,
                    XKB_KEY_UP);
                break;
            case XCB_INPUT_RAW_BUTTON_PRESS:
                buttonChanged(
                    true, reinterpret_cast<xcb_input_raw_button_press_event_t*>(ge)->detail, now);
                break;
            case XCB_INPUT_RAW_MOTION:
                pointerMoved();
                break;
            case XCB_INPUT_RAW_BUTTON_RELEASE:
                buttonChanged(false,
                              reinterpret_cast<xcb_input_raw_button_release_event_t*>(ge)->detail,
                              now);
                break;
            default:
                break;
        }
    }

    void run() {
        xcb_connection_t* c = connection.get();
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake, POLLIN, 0}};
        readPointer();  // where the pointer is when recording starts
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                handle(event);
                std::free(event);
            }
            if (pollTimeout() == 0) {
                readPointer();
                continue;  // the read may have queued events
            }
            if (xcb_connection_has_error(c)) {
                return;  // the display went away; the frames' stream reports it
            }
            if (poll(fds, 2, pollTimeout()) < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                return;
            }
        }
    }
};

InputMonitor::InputMonitor(const QByteArray& displayName, const QRect& source, const QSize& output,
                           Deliver deliver)
    : m_impl(std::make_unique<Impl>(displayName, source, output, std::move(deliver))) {}

InputMonitor::~InputMonitor() = default;

void InputMonitor::followWindow(uint32_t window) {
    m_impl->follow = window;
}

bool InputMonitor::start() {
    if (m_impl->thread.joinable() || !m_impl->setUp()) {
        return false;
    }
    Impl* impl = m_impl.get();
    m_impl->thread = std::thread([impl] { impl->run(); });
    return true;
}

void InputMonitor::stop() {
    m_impl->stop();
}

}  // namespace mirelo::x11
