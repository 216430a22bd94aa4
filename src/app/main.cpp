// Mirelo's entry point: the session, its recorder window and the menu.
#include "MireloIdentity.h"
#include "app/Alerts.h"
#include "app/AppIdentity.h"
#include "app/AppMenu.h"
#include "app/AppState.h"
#include "app/StrayExportFiles.h"
#include "platform/CaptureBackendChoice.h"
#include "platform/DesktopIntegration.h"
#include "platform/GlobalShortcuts.h"
#include "platform/SingleInstance.h"
#include "platform/UpdateChecker.h"
#include "platform/WindowPicker.h"
#include "ui/Dialogs.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include "i18n/Language.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
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

// The files named on the command line, as absolute paths: every argument that is not an
// option (nor the value of a two-part --capture).
QStringList fileArguments() {
    QStringList files;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--capture")) {
            ++i;
        } else if (!argument.startsWith(u'-')) {
            files << QFileInfo(argument).absoluteFilePath();
        }
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto text = mirelo::informationRequested(argc, argv)) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }
    // On a Wayland desktop the screen is read through the desktop's portal, and the windows
    // run through XWayland, where they can place themselves (see README).
    const mirelo::CaptureBackendChoice capture = mirelo::chooseCaptureBackend(argc, argv);
    if (capture.error) {
        std::fprintf(stderr, "%s\n", capture.error->c_str());
        return 2;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (capture.kind == mirelo::CaptureBackendKind::portal &&
        (!platform || !*platform || std::strncmp(platform, "wayland", 7) == 0)) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    if (!canOpenDisplay()) {
        return 1;
    }
    QApplication app(argc, argv);
    mirelo::applyApplicationIdentity();
    // The recorder window hides while an editor is open and the last editor
    // may close: the application lives on in its menu until "退出 Mirelo".
    QApplication::setQuitOnLastWindowClosed(false);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    mirelo::dialogs::widenMessageBoxes(&app);

    // A second launch brings the running recorder forward instead, or has it open the files.
    const QStringList files = fileArguments();
    mirelo::SingleInstance instance;
    if (instance.notifyRunning(3000, files)) {
        return 0;
    }
    instance.listen();

    mirelo::AppServices services;
    services.recorder =
        std::make_unique<mirelo::ScreenRecorder>(mirelo::makeCaptureBackend(capture.kind));
    services.alerts = std::make_shared<mirelo::MessageBoxAlerts>();
    services.pickWindow = [](std::function<void(std::optional<mirelo::PickedWindow>)> done) {
        mirelo::WindowPicker::shared().begin(std::move(done));
    };
    services.revealFile = [alerts = services.alerts](const QString& path) {
        mirelo::desktop::revealFile(path, [alerts, path] { alerts->showFileLocation(path); });
    };
    services.openFolder = [](const QString& folder) { mirelo::desktop::openFolder(folder); };
    services.openPrivacySettings = [] { mirelo::desktop::openPrivacySettings(); };

    // What a crash left of an export in the last run goes now.
    mirelo::StrayExportFiles::sweepAndWatch(mirelo::StrayExportFiles::defaultListFile());
    mirelo::AppState state(std::move(services));
    // Ctrl+Alt+R and Ctrl+Alt+P from anywhere on the desktop.
    mirelo::GlobalShortcuts shortcuts(mirelo::GlobalShortcuts::mechanismForThisSession());
    state.useGlobalShortcuts(&shortcuts);
    if (capture.kind == mirelo::CaptureBackendKind::portal) {
        state.setKeysUnavailableNote(
            QCoreApplication::translate("RecorderHeader", "Wayland 下无法录制按键和点击。"));
    }
    QObject::connect(&instance, &mirelo::SingleInstance::activationRequested, &state,
                     &mirelo::AppState::showRecorderWindow);
    QObject::connect(&instance, &mirelo::SingleInstance::openRequested, &state,
                     [&state](const QStringList& paths) { state.openFiles(paths); });
    if (!files.isEmpty()) {
        QTimer::singleShot(0, &state, [&state, files] { state.openFiles(files); });
    }
    mirelo::UpdateChecker updates(QUrl(QStringLiteral(MIRELO_APPCAST_URL)),
                                  QApplication::applicationVersion());
    mirelo::AppMenu menu(&state, &updates);
    menu.addShortcutsTo(state.recorderWindowController()->window());
    QObject::connect(&state, &mirelo::AppState::editorOpened, &menu,
                     [&menu](QWidget* editor) { menu.addShortcutsTo(editor); });

    return app.exec();
}
