// Saved files reach the disk before they replace the old one.
#include "export/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

// The real calls, each written down; any of them can be made to fail.
class RecordingCalls : public FileSyncCalls {
public:
    bool syncFile(const QString& path) override {
        calls << QStringLiteral("syncFile ") + QFileInfo(path).fileName().left(8);
        return !failSyncFile && FileSyncCalls::syncFile(path);
    }
    bool rename(const QString& from, const QString& to) override {
        calls << QStringLiteral("rename ") + QFileInfo(from).fileName().left(8) + QLatin1Char(' ') +
                     QFileInfo(to).fileName();
        return FileSyncCalls::rename(from, to);
    }
    bool syncFolder(const QString& path) override {
        calls << QStringLiteral("syncFolder ") + QDir(path).dirName();
        return !failSyncFolder && FileSyncCalls::syncFolder(path);
    }
    QStringList calls;
    bool failSyncFile = false;
    bool failSyncFolder = false;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(AtomicFile, FlushesTheFileBeforeTheRenameAndTheFolderAfterIt) {
    QTemporaryDir dir;
    const QString destination = dir.filePath(QStringLiteral("clip.gif"));
    write(destination, "old");
    const QString folder = QDir(dir.path()).dirName();

    // Success: file flushed, renamed, folder flushed, in that order.
    {
        RecordingCalls calls;
        AtomicFile file(destination, calls);
        ASSERT_TRUE(file.isOpen());
        write(file.tempPath(), "new");
        ASSERT_TRUE(file.commit());
        EXPECT_EQ(calls.calls, (QStringList{QStringLiteral("syncFile .clip.gi"),
                                            QStringLiteral("rename .clip.gi clip.gif"),
                                            QStringLiteral("syncFolder ") + folder}));
        EXPECT_EQ(contents(destination), "new");
    }
    // A file that cannot be flushed does not replace the old one.
    {
        RecordingCalls calls;
        calls.failSyncFile = true;
        AtomicFile file(destination, calls);
        write(file.tempPath(), "newer");
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(calls.calls.size(), 1);
        EXPECT_EQ(contents(destination), "new");
    }
    // A folder that cannot be flushed leaves the file saved.
    {
        RecordingCalls calls;
        calls.failSyncFolder = true;
        AtomicFile file(destination, calls);
        write(file.tempPath(), "newest");
        EXPECT_TRUE(file.commit());
        EXPECT_EQ(contents(destination), "newest");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("clip.gif")});
}

}  // namespace
}  // namespace mirelo
