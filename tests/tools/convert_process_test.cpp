// mirelo-convert as a process: what a kill, a hang-up or a read-only destination leaves.
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>

#include <signal.h>
#include <sys/stat.h>

using namespace mirelo;

namespace {

// Frames enough that the export takes a while.
void writeFrames(const QString& folder, int count) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(test::patternImage(640, 480, uint8_t(i))
                        .qimage()
                        .save(QDir(folder).filePath(
                            QStringLiteral("f%1.png").arg(i, 3, 10, QLatin1Char('0')))));
    }
}

// Whether the process has a file open in `folder` (a temporary file, named or not).
bool writesInto(qint64 pid, const QString& folder) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().startsWith(folder + QLatin1Char('/'))) {
            return true;
        }
    }
    return false;
}

// Starts an export into `out` and waits until its output file is open.
void startExport(QProcess& process, const QString& frames, const QString& out) {
    // Its lines in English, whatever the test's own language.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MIRELO_LANG"), QStringLiteral("en"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MIRELO_CONVERT), {QStringLiteral("--quiet"), frames, out});
    ASSERT_TRUE(process.waitForStarted());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!writesInto(process.processId(), QFileInfo(out).absolutePath())) {
        ASSERT_EQ(process.state(), QProcess::Running) << "finished before it was caught writing";
        ASSERT_LT(std::chrono::steady_clock::now(), until);
        QThread::msleep(2);
    }
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

}  // namespace

TEST(ConvertProcess, AKilledOrHungUpExportLeavesNothingBesideTheDestination) {
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    writeFrames(frames, 60);
    const QString outFolder = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outFolder));
    for (const int signal : {SIGKILL, SIGHUP, SIGTERM}) {
        SCOPED_TRACE(signal);
        QProcess process;
        startExport(process, frames, QDir(outFolder).filePath(QStringLiteral("clip.gif")));
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60'000));
        if (signal == SIGKILL) {
            EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
        } else {
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), 1);
            EXPECT_TRUE(process.readAllStandardError().contains("cancelled"));
        }
        EXPECT_TRUE(QDir(outFolder)
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                        .isEmpty());
    }
}

TEST(ConvertProcess, AReadOnlyFileIsReplacedOnlyWithForceAndEveryFileKeepsItsMode) {
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    writeFrames(frames, 3);
    for (const mode_t mode : {0600, 0640, 0444}) {
        SCOPED_TRACE(mode);
        const QString out = dir.filePath(QStringLiteral("clip-%1.gif").arg(mode));
        {
            QFile old(out);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(out).constData(), mode), 0);
        QProcess process;
        process.start(QStringLiteral(MIRELO_CONVERT), {QStringLiteral("--quiet"), frames, out});
        ASSERT_TRUE(process.waitForFinished(60'000));
        const bool readOnly = (mode & 0222) == 0;
        EXPECT_EQ(process.exitCode(), readOnly ? 1 : 0)
            << process.readAllStandardError().constData();
        EXPECT_EQ(QFileInfo(out).size() == 3, readOnly);
        if (readOnly) {
            process.start(QStringLiteral(MIRELO_CONVERT),
                          {QStringLiteral("--quiet"), QStringLiteral("--force"), frames, out});
            ASSERT_TRUE(process.waitForFinished(60'000));
            EXPECT_EQ(process.exitCode(), 0);
            EXPECT_GT(QFileInfo(out).size(), 3);
        }
        EXPECT_EQ(modeOf(out), mode);
    }
}
