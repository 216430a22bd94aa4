#pragma once

#include "capture/CaptureBackend.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirelo {

// Which capture backend a run uses: the X server's (X11 desktops) or the desktop's screen-cast
// portal with PipeWire (Wayland desktops, where an X11 client sees only XWayland windows).
enum class CaptureBackendKind { x11, portal };

struct CaptureBackendChoice {
    CaptureBackendKind kind = CaptureBackendKind::x11;
    // Set when a forced choice names no backend; the line to print.
    std::optional<std::string> error;
};

// The switch "--capture=x11|portal" (or "--capture x11|portal") among `arguments` wins, then
// the environment variable MIRELO_CAPTURE=x11|portal; otherwise a Wayland session
// (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland) uses the portal and anything else X11.
// `environment` returns a variable's value, or nothing when unset.
CaptureBackendChoice chooseCaptureBackend(
    const std::vector<std::string>& arguments,
    const std::function<std::optional<std::string>(const char* name)>& environment);

// The choice for this process (its arguments and environment).
CaptureBackendChoice chooseCaptureBackend(int argc, char** argv);

std::shared_ptr<CaptureBackend> makeCaptureBackend(CaptureBackendKind kind);

}  // namespace mirelo
