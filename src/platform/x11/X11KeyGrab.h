#pragma once

#include <QObject>

#include <cstdint>

class QSocketNotifier;

typedef struct xcb_connection_t xcb_connection_t;

namespace mirelo::x11 {

// A key with modifiers as a desktop-wide shortcut, taken with a passive key
// grab on the root window for as long as the object lives: the shortcut then
// reaches us whichever application has the keyboard focus (and no longer
// reaches that application). The state of Caps Lock and Num Lock does not
// matter; a key held down (auto-repeat) counts once. It speaks to the X
// server over a connection of its own.
//
// Main thread only. Does nothing when the application does not run on X11 or
// another client holds the same grab.
class KeyGrab : public QObject {
    Q_OBJECT

public:
    enum Modifier : uint16_t {
        noModifier = 0,
        control = 1 << 2,  // the X modifier masks
        alt = 1 << 3,      // Mod1
    };

    // Ctrl plus `letter`, a lower-case Latin letter.
    explicit KeyGrab(char letter, QObject* parent = nullptr);
    // `keysym` (an X keysym: a lower-case Latin letter is its ASCII code,
    // Escape 0xff1b) with exactly the modifiers in `modifiers`.
    KeyGrab(uint32_t keysym, uint16_t modifiers, QObject* parent = nullptr);
    ~KeyGrab() override;

    // The grab is in place.
    bool isActive() const { return m_active; }
    // The key could not be had because another client holds it (rather than
    // for want of an X11 display or of that key on the keyboard).
    bool isHeldElsewhere() const { return m_heldElsewhere; }

signals:
    void activated();

private:
    void readEvents();

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    uint8_t m_keycode = 0;
    uint16_t m_modifiers = 0;
    bool m_active = false;
    bool m_heldElsewhere = false;
    uint32_t m_lastRelease = 0;  // server time of the key's last release
    bool m_held = false;         // pressed and not yet released
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace mirelo::x11
