// Revealing a saved file: with no file manager on the bus the folder opens
// instead, and with nothing to open it either the caller hears of it.
#include "platform/DesktopIntegration.h"
#include "support/TestImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

// Puts a program called xdg-open that runs `body` first on the PATH.
void fakeOpener(const QTemporaryDir& bin, const QByteArray& body) {
    QFile script(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin");
}

}  // namespace

TEST(RevealFile, FallsBackToTheFolderAndThenToTellingTheCaller) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    // No session bus: no file manager can answer.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/mirelo-test-bus");
    const QString saved = QStringLiteral("/tmp/mirelo-reveal/a.gif");

    // Written aside and renamed, so the file never exists half-written.
    fakeOpener(bin,
               "d=\"$(dirname \"$0\")\"; echo \"$1\" > \"$d/opening\" && mv \"$d/opening\" "
               "\"$d/opened\"");
    int told = 0;
    desktop::revealFile(saved, [&] { ++told; });
    const QString opened = bin.filePath(QStringLiteral("opened"));
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(opened); }, 10s));
    QFile record(opened);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll().trimmed(), QByteArray("/tmp/mirelo-reveal"));

    fakeOpener(bin, "exit 4");
    desktop::revealFile(saved, [&] { ++told; });
    EXPECT_TRUE(test::waitUntil([&] { return told == 1; }, 10s));
}
