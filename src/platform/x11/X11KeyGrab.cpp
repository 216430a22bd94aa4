#include "platform/x11/X11KeyGrab.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowShape.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>

namespace mirelo::x11 {

namespace {

// The lock modifiers a grab must tolerate: none, Caps Lock, Num Lock (Mod2
// on every common keymap) and both.
constexpr uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                      XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

// The first keycode whose keysyms include `keysym`, or 0.
uint8_t keycodeFor(xcb_connection_t* c, uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, first, static_cast<uint8_t>(count)), nullptr);
    if (!mapping) {
        return 0;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int perCode = mapping->keysyms_per_keycode;
    uint8_t found = 0;
    for (int code = 0; code < count && !found; ++code) {
        for (int i = 0; i < perCode; ++i) {
            if (syms[code * perCode + i] == keysym) {
                found = static_cast<uint8_t>(first + code);
                break;
            }
        }
    }
    free(mapping);
    return found;
}

}  // namespace

KeyGrab::KeyGrab(char letter, QObject* parent)
    : KeyGrab(letter >= 'a' && letter <= 'z' ? static_cast<uint32_t>(letter) : 0, control, parent) {
}

KeyGrab::KeyGrab(uint32_t keysym, uint16_t modifiers, QObject* parent) : QObject(parent) {
    if (!isAvailable() || keysym == 0) {
        return;
    }
    xcb_window_t root = XCB_NONE;
    xcb_connection_t* c = x11::connectToDefaultScreen(&root);
    if (!c) {
        return;
    }
    const uint8_t keycode = keycodeFor(c, keysym);
    if (!keycode) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_root = root;
    m_keycode = keycode;
    m_modifiers = modifiers;
    bool granted = true;
    for (uint16_t locks : kLockVariants) {
        xcb_void_cookie_t cookie = xcb_grab_key_checked(c, 1, m_root, modifiers | locks, keycode,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            granted = false;  // another client holds it
            free(error);
        }
    }
    m_active = granted;
    m_heldElsewhere = !granted;
    if (!granted) {
        // Keep none of a partial grab.
        for (uint16_t locks : kLockVariants) {
            xcb_ungrab_key(c, keycode, m_root, modifiers | locks);
        }
        xcb_flush(c);
    }
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &KeyGrab::readEvents);
}

KeyGrab::~KeyGrab() {
    if (!m_connection) {
        return;
    }
    delete m_notifier;
    for (uint16_t locks : kLockVariants) {
        xcb_ungrab_key(m_connection, m_keycode, m_root, m_modifiers | locks);
    }
    xcb_flush(m_connection);
    xcb_disconnect(m_connection);
}

void KeyGrab::readEvents() {
    // Auto-repeat sends a release right before each repeated press, at the same
    // server time: a press that follows a release of the same key at once is a repeat.
    constexpr uint32_t kRepeatGapMs = 2;
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            if (key->detail == m_keycode) {
                if (type == XCB_KEY_RELEASE) {
                    m_lastRelease = key->time;
                    m_held = false;
                } else {
                    const bool repeat =
                        m_held || (m_lastRelease != 0 && key->time - m_lastRelease <= kRepeatGapMs);
                    m_held = true;
                    pressed = pressed || !repeat;
                }
            }
        }
        free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        m_notifier->setEnabled(false);
    }
    if (pressed) {
        emit activated();
    }
}

}  // namespace mirelo::x11
