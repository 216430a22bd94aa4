// Mirelo's entry point: the session, its recorder window and the menu.
#include "app/Alerts.h"
#include "app/AppMenu.h"
#include "app/AppState.h"
#include "platform/DesktopIntegration.h"
#include "platform/UpdateChecker.h"
#include "platform/WindowPicker.h"
#include "platform/x11/X11CaptureBackend.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Qt aborts when it cannot open the display; find that out first and say so
// in one line. Only X11 is supported: the capture and the recorder window's
// click-through rely on it (Wayland sessions run us through XWayland).
bool canOpenDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0) {
        return true;  // a platform chosen on purpose (offscreen for tests)
    }
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(
            stderr,
            "mirelo: no X11 display (DISPLAY is not set); Mirelo needs a graphical desktop.\n");
        return false;
    }
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) {
        xcb_disconnect(connection);
    }
    if (!ok) {
        std::fprintf(
            stderr,
            "mirelo: cannot open the X11 display \"%s\"; Mirelo needs a graphical desktop.\n",
            display);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (!canOpenDisplay()) {
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirelo"));
    // No display name of its own: Qt would append it to every window title
    // ("Mirelo 编辑器 — Mirelo"); each window names itself.
    QApplication::setApplicationVersion(QStringLiteral(MIRELO_VERSION));
    // The recorder window hides while an editor is open and the last editor
    // may close: the application lives on in its menu until "退出 Mirelo".
    QApplication::setQuitOnLastWindowClosed(false);

    mirelo::AppServices services;
    services.recorder = std::make_unique<mirelo::ScreenRecorder>(mirelo::makeX11CaptureBackend());
    services.alerts = std::make_shared<mirelo::MessageBoxAlerts>();
    services.pickWindow = [](std::function<void(std::optional<QRectF>)> done) {
        mirelo::WindowPicker::shared().begin(std::move(done));
    };
    services.revealFile = &mirelo::desktop::revealFile;
    services.openPrivacySettings = [] { mirelo::desktop::openPrivacySettings(); };

    mirelo::AppState state(std::move(services));
    mirelo::UpdateChecker updates(QUrl(QStringLiteral(MIRELO_APPCAST_URL)),
                                  QApplication::applicationVersion());
    mirelo::AppMenu menu(&state, &updates);
    menu.addShortcutsTo(state.recorderWindowController()->window());
    QObject::connect(&state, &mirelo::AppState::editorOpened, &menu,
                     [&menu](QWidget* editor) { menu.addShortcutsTo(editor); });

    return app.exec();
}
