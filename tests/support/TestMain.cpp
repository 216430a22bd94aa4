// Shared main() for the test executables: a Qt application object exists for
// every test (fonts, images, timers), headless unless a display is asked for.
#include <gtest/gtest.h>

#include "i18n/Language.h"

#ifdef MIRELO_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Recordings made by tests go to a cache folder of this process, never the user's.
    const QString cache =
        QDir::temp().filePath(QStringLiteral("mirelo-test-cache-%1").arg(getpid()));
    setenv("XDG_CACHE_HOME", QFile::encodeName(cache).constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    // The tests read the interface's Chinese texts; one that checks English
    // installs it itself. Programs the tests start inherit the choice.
    setenv("MIRELO_LANG", "zh_CN", 1);
    TestApplication app(argc, argv);
    mirelo::i18n::install(mirelo::i18n::chooseLanguage());
    const int result = RUN_ALL_TESTS();
    QDir(cache).removeRecursively();
    return result;
}
