#pragma once

#include <QObject>

class QSocketNotifier;

typedef struct xcb_connection_t xcb_connection_t;

namespace mirelo::x11 {

// Ctrl plus one letter as a desktop-wide shortcut, taken with a passive key
// grab on the root window for as long as the object lives: the shortcut then
// reaches us whichever application has the keyboard focus (and no longer
// reaches that application). The state of Caps Lock and Num Lock does not
// matter. It speaks to the X server over a connection of its own.
//
// Main thread only. Does nothing when the application does not run on X11 or
// another client holds the same grab.
class KeyGrab : public QObject {
    Q_OBJECT

public:
    // `letter` is a lower-case Latin letter.
    explicit KeyGrab(char letter, QObject* parent = nullptr);
    ~KeyGrab() override;

    // The grab is in place.
    bool isActive() const { return m_active; }

signals:
    void activated();

private:
    void readEvents();

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    uint8_t m_keycode = 0;
    bool m_active = false;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace mirelo::x11
