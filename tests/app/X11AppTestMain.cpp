// main() of the programs that drive the application on their own Xvfb with openbox.
#include "X11AppTest.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "i18n/Language.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {
mirelo::test::XvfbServer* server = nullptr;
}

mirelo::test::XvfbServer& mirelo::test::appServer() {
    return *server;
}

int main(int argc, char** argv) {
    // Recordings made by tests go to a cache folder of this process, never the user's.
    const QString cache =
        QDir::temp().filePath(QStringLiteral("mirelo-test-cache-%1").arg(getpid()));
    setenv("XDG_CACHE_HOME", QFile::encodeName(cache).constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    mirelo::test::XvfbServer::Options options;
    options.windowManager = true;
    mirelo::test::XvfbServer xvfb(options);
    if (!xvfb.ok()) {
        std::fprintf(stderr, "Xvfb did not start: %s\n", qPrintable(xvfb.error()));
        return 1;
    }
    server = &xvfb;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The tests read the interface's Chinese texts; one that checks English
    // installs it itself. Programs the tests start inherit the choice.
    setenv("MIRELO_LANG", "zh_CN", 1);
    QApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    const int result = RUN_ALL_TESTS();
    server = nullptr;
    QDir(cache).removeRecursively();
    return result;
}
