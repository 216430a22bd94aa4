#pragma once

#include "capture/InputEvent.h"

#include <QByteArray>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>

namespace mirelo::x11 {

// Watches the keyboard, the mouse buttons and the pointer of the whole X display while a recording
// runs: XInput 2 raw events on the root window, which every client may select and which report
// events of every device (XTEST's included) without grabbing anything. Keys are named in the
// current layout through xkbcommon; a button's pointer position is read at the event, in root
// coordinates, and given in the recording's pixels (`source` scaled to `output`); so is the
// pointer's position at the start and whenever it moved: read at most every 20 ms while raw
// motion comes, and every 100 ms for moves that make none (a program warping the pointer).
//
// A thread of its own delivers the events, stamped with the steady clock the frames use;
// stop() (or the destructor) returns once it has ended.
class InputMonitor {
public:
    using Deliver = std::function<void(const InputEvent& event)>;

    InputMonitor(const QByteArray& displayName, const QRect& source, const QSize& output,
                 Deliver deliver);
    ~InputMonitor();
    InputMonitor(const InputMonitor&) = delete;
    InputMonitor& operator=(const InputMonitor&) = delete;

    // Places clicks relative to `window` wherever it is at the click rather than relative to
    // the fixed source (its outer top-left, border included, at the source's top-left); for a
    // recording that follows the window. Before start().
    void followWindow(uint32_t window);

    // Starts watching. False, with nothing running, when the display has no XInput 2 or no
    // XKB: the recording then goes on without events.
    bool start();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mirelo::x11
