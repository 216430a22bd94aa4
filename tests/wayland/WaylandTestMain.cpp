// main() of the programs that run inside the headless Wayland session of wayland-session.sh:
// a Qt application on XWayland, as Mirelo runs on a Wayland desktop.
#include <QApplication>

#include <gtest/gtest.h>

#include "i18n/Language.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "MIRELO_SESSION_DIR"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') {
            std::fprintf(
                stderr,
                "%s is not set: run this program through tests/wayland/wayland-session.sh\n", name);
            return 1;
        }
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The tests read the interface's Chinese texts; one that checks English
    // installs it itself. Programs the tests start inherit the choice.
    setenv("MIRELO_LANG", "zh_CN", 1);
    QApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    return RUN_ALL_TESTS();
}
