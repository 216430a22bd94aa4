#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace mirelo;

namespace {

const QString kId = QStringLiteral("io.example.Recorder");

// Points XDG_CONFIG_HOME (or, with an empty value, HOME) at a fresh folder
// for one test and puts the old values back after it.
class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        m_oldHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
    }
    void TearDown() override {
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
        qputenv("HOME", m_oldHome);
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QByteArray m_oldHome;
};

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// desktop-file-validate's verdict on `path`, or nothing when it is missing.
std::optional<QString> validationErrors(const QString& path) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.start(tool, {path});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()) +
           (process.exitCode() == 0 ? QString() : QStringLiteral("(failed)"));
}

}  // namespace

TEST_F(AutostartTest, EnablingWritesAValidEntryAndDisablingRemovesIt) {
    const QString entry = path("config/autostart/io.example.Recorder.desktop");
    EXPECT_EQ(autostart::entryPath(kId), entry);
    EXPECT_FALSE(autostart::isEnabled(kId));
    // Disabling what is not there is no error.
    EXPECT_EQ(autostart::setEnabled(kId, false, "/usr/bin/recorder"), std::nullopt);

    EXPECT_EQ(autostart::setEnabled(kId, true, "/usr/bin/recorder"), std::nullopt);
    EXPECT_TRUE(autostart::isEnabled(kId));
    const QString text = readAll(entry);
    EXPECT_TRUE(text.contains("\nExec=/usr/bin/recorder\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nTryExec=/usr/bin/recorder\n"));
    if (const auto errors = validationErrors(entry)) {
        EXPECT_EQ(*errors, QString());
    }
    // Enabling twice keeps one entry.
    EXPECT_EQ(autostart::setEnabled(kId, true, "/usr/bin/recorder"), std::nullopt);
    EXPECT_EQ(QDir(path("config/autostart")).entryList(QDir::Files).size(), 1);

    EXPECT_EQ(autostart::setEnabled(kId, false, "/usr/bin/recorder"), std::nullopt);
    EXPECT_FALSE(autostart::isEnabled(kId));
    EXPECT_FALSE(QFile::exists(entry));
}

TEST_F(AutostartTest, ConfigHomeFallsBackToHomeWhenUnsetOrRelative) {
    qputenv("HOME", m_dir.path().toUtf8());
    for (const QByteArray& value : {QByteArray(), QByteArray("relative/config")}) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(autostart::entryPath(kId), path(".config/autostart/io.example.Recorder.desktop"));
    }
}

TEST_F(AutostartTest, AnEntryTheDesktopHidIsNotEnabled) {
    ASSERT_EQ(autostart::setEnabled(kId, true, "/usr/bin/recorder"), std::nullopt);
    QFile file(autostart::entryPath(kId));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden = true\n");
    file.close();
    EXPECT_FALSE(autostart::isEnabled(kId));
}

TEST_F(AutostartTest, ProgramPathsWithReservedCharactersAreQuoted) {
    EXPECT_EQ(autostart::execArgument("/opt/rec/bin/rec"), "/opt/rec/bin/rec");
    EXPECT_EQ(autostart::execArgument("/opt/my apps/100%/rec"), "\"/opt/my apps/100%%/rec\"");
    EXPECT_EQ(autostart::execArgument("/opt/a$b/\"c\\d`"), "\"/opt/a\\$b/\\\"c\\\\d\\`\"");

    const QString program = "/opt/my apps/a$b\\c/rec";
    ASSERT_EQ(autostart::setEnabled(kId, true, program), std::nullopt);
    const QString text = readAll(autostart::entryPath(kId));
    // The Exec quoting, then the string escape of every backslash.
    EXPECT_TRUE(text.contains("\nExec=\"/opt/my apps/a\\\\$b\\\\\\\\c/rec\"\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nTryExec=/opt/my apps/a$b\\\\c/rec\n"));
    if (const auto errors = validationErrors(autostart::entryPath(kId))) {
        EXPECT_EQ(*errors, QString());
    }
}

TEST_F(AutostartTest, FailuresAreReportedAndLeaveNothingBehind) {
    EXPECT_NE(autostart::setEnabled(kId, true, "relative/rec"), std::nullopt);
    EXPECT_NE(autostart::setEnabled(kId, true, "/usr/bin/rec\nHidden=true"), std::nullopt);
    EXPECT_FALSE(QFile::exists(autostart::entryPath(kId)));

    // A file where the autostart folder should be.
    QDir().mkpath(path("config"));
    QFile blocker(path("config/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_NE(autostart::setEnabled(kId, true, "/usr/bin/recorder"), std::nullopt);
    EXPECT_FALSE(autostart::isEnabled(kId));
}
