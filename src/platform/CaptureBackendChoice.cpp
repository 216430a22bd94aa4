#include "platform/CaptureBackendChoice.h"

#include "platform/wayland/PortalCaptureBackend.h"
#include "platform/x11/X11CaptureBackend.h"

#include <cstdlib>

namespace mirelo {

namespace {

std::optional<CaptureBackendKind> kindNamed(const std::string& name) {
    if (name == "x11") {
        return CaptureBackendKind::x11;
    }
    if (name == "portal" || name == "wayland") {
        return CaptureBackendKind::portal;
    }
    return std::nullopt;
}

CaptureBackendChoice forced(const std::string& name, const char* where) {
    if (std::optional<CaptureBackendKind> kind = kindNamed(name)) {
        return {*kind, std::nullopt};
    }
    return {CaptureBackendKind::x11, std::string("mirelo: ") + where + " \"" + name +
                                         "\" names no capture backend (use x11 or portal)"};
}

}  // namespace

CaptureBackendChoice chooseCaptureBackend(
    const std::vector<std::string>& arguments,
    const std::function<std::optional<std::string>(const char* name)>& environment) {
    const std::string option = "--capture";
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind(option + "=", 0) == 0) {
            return forced(argument.substr(option.size() + 1), "--capture");
        }
        if (argument == option) {
            return forced(i + 1 < arguments.size() ? arguments[i + 1] : std::string(), "--capture");
        }
    }
    if (std::optional<std::string> value = environment("MIRELO_CAPTURE");
        value && !value->empty()) {
        return forced(*value, "MIRELO_CAPTURE");
    }
    const std::optional<std::string> wayland = environment("WAYLAND_DISPLAY");
    const std::optional<std::string> session = environment("XDG_SESSION_TYPE");
    if ((wayland && !wayland->empty()) || session == std::string("wayland")) {
        return {CaptureBackendKind::portal, std::nullopt};
    }
    return {CaptureBackendKind::x11, std::nullopt};
}

CaptureBackendChoice chooseCaptureBackend(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return chooseCaptureBackend(arguments, [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    });
}

std::shared_ptr<CaptureBackend> makeCaptureBackend(CaptureBackendKind kind) {
    if (kind == CaptureBackendKind::portal) {
        return makePortalCaptureBackend();
    }
    return makeX11CaptureBackend();
}

}  // namespace mirelo
