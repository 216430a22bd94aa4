#pragma once

#include "capture/CaptureBackend.h"
#include "capture/FramePacer.h"
#include "platform/wayland/ScreenCastPortal.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace mirelo {

// The capture backend of Wayland desktops: the desktop's screen-cast portal picks a monitor
// (its own dialog is the permission; the choice is kept with a restore token, so the dialog
// comes once) and PipeWire delivers its pictures, which come only when the screen changes. A
// capture thread of its own hands out frames at the frame rate on a monotonic schedule,
// repeating the last picture while the screen stands still, cut to the source rectangle.
// Frames are made of bands of rows shared with the frame before where those rows did not
// change.
//
// The recorder window runs through XWayland: the displays and the source rectangle are in
// XWayland's coordinates (`displayName` is its X display; empty means $DISPLAY), the
// compositor's layout in points. Which monitor a stream shows is told from XWayland's monitor
// list (the portal's own account may lack a usable position), and frames keep the stream's
// device pixels of the region: a monitor at scale 2 gives twice as many on each side.
struct PortalCaptureOptions {
    QByteArray displayName;
    // A fresh connection to the portal for each stream (tests give a double).
    std::function<std::unique_ptr<wayland::ScreenCastPortal>()> portal =
        wayland::makeDBusScreenCastPortal;
    wayland::RestoreTokenStore tokens = wayland::settingsRestoreTokenStore();
    // What streams are paced on (the steady clock when null).
    std::shared_ptr<PacingClock> clock;
};

std::shared_ptr<CaptureBackend> makePortalCaptureBackend(PortalCaptureOptions options = {});

}  // namespace mirelo
