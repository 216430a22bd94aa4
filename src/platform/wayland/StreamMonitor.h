#pragma once

#include "capture/CaptureBackend.h"

#include <QRect>

#include <optional>
#include <vector>

namespace mirelo::wayland {

// Which of XWayland's monitors a screen-cast stream shows, from what the portal says of it
// (`area`: its position and size in the compositor's layout, when it says). Portals differ:
// some give the size in the monitor's device pixels rather than in the layout's points, and
// some give no usable position (the origin for every monitor). A monitor fits the stream when
// the stream's size is the monitor's size times one scale for both sides.
struct StreamMonitor {
    enum class Verdict {
        wanted,        // the stream shows the monitor asked for
        other,         // it shows another monitor
        unidentified,  // it fits none that could be told
    };
    Verdict verdict = Verdict::unidentified;
};

// Decides for the monitor `wanted` (an index into `monitors`, whose frames are XWayland's):
// a position and size that name it are it; a position other than the origin that names
// another monitor (or the origin, when the wanted monitor does not fit the size) is that
// other monitor; otherwise, when the wanted monitor fits the size (or there is no size), the
// position is taken as unusable and the stream as the monitor the user was asked to share.
StreamMonitor::Verdict matchStream(const std::optional<QRect>& area,
                                   const std::vector<CaptureDisplay>& monitors, size_t wanted);

// The index of the monitor under `point`, else the one `rect` overlaps most; nothing when it
// overlaps none.
std::optional<size_t> monitorFor(const QRect& rect, const std::vector<CaptureDisplay>& monitors);

}  // namespace mirelo::wayland
