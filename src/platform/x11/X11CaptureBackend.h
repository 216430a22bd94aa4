#pragma once

#include "capture/CaptureBackend.h"
#include "capture/FramePacer.h"

#include <QByteArray>

#include <memory>

namespace mirelo {

// The capture backend of X11 desktops: MIT-SHM reads of the root window on a capture thread of
// its own (with its own display connection), paced at the frame rate against a monotonic clock,
// the pointer drawn in from the XFixes cursor image. Displays are the RandR monitors.
//
// `displayName` is an X display string (":1"); empty means $DISPLAY. Streams are paced on
// `clock` (the steady clock when null).
std::shared_ptr<CaptureBackend> makeX11CaptureBackend(const QByteArray& displayName = {},
                                                      std::shared_ptr<PacingClock> clock = {});

// The RandR monitors of an X display as capture displays; `cannotConnect` is
// the failure's text when the display cannot be reached.
DisplayListResult listX11Displays(const QByteArray& displayName, const QString& cannotConnect);

}  // namespace mirelo
