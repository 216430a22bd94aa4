#include "app/AppIdentity.h"

#include "MireloIdentity.h"
#include "ui/Icons.h"

#include <QApplication>

#include <string_view>

namespace mirelo {

std::string versionLine() {
    return std::string("mirelo ") + MIRELO_VERSION;
}

std::optional<std::string> informationRequested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--version") {
            return versionLine() + '\n';
        }
        if (arg == "--help" || arg == "-h") {
            return "Usage: mirelo [--version] [--help] [--capture=x11|portal] [FILE...]\n"
                   "Records short animations of the screen and saves them as GIF, WebP or MP4.\n"
                   "Without options it shows the recorder window; its menu sits in the system\n"
                   "tray. FILEs (GIF, WebP, pictures, video, or a folder of pictures) open in the\n"
                   "editor, in the running Mirelo when there is one. See also mirelo-convert "
                   "--help.\n"
                   "\n"
                   "  --version  print the version and exit\n"
                   "  --help     this text\n"
                   "  --capture=x11|portal  read the screen through X11 or the desktop's\n"
                   "             screen-cast portal (default: the portal on Wayland)\n";
        }
    }
    return std::nullopt;
}

void applyApplicationIdentity() {
    QApplication::setApplicationName(QStringLiteral("Mirelo"));
    // No display name of its own: Qt would append it to every window title
    // ("Mirelo 编辑器 — Mirelo"); each window names itself.
    QApplication::setApplicationVersion(QStringLiteral(MIRELO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(MIRELO_APP_ID));
    QApplication::setWindowIcon(Icons::application());
}

}  // namespace mirelo
