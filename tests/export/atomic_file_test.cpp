// Saved files reach the disk before they replace the old one.
#include "export/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
        const QString temp =
            QStringLiteral("syncFile ") + QFileInfo(file.tempPath()).fileName().left(8);
        ASSERT_TRUE(file.commit());
        EXPECT_EQ(calls.calls, (QStringList{temp, QStringLiteral("rename .clip.gi clip.gif"),
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

// Named temporary files, where the file system has no unnamed ones.
class NamedCalls : public FileSyncCalls {
public:
    bool unnamedTemporaryFiles() override { return false; }
};

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(AtomicFile, AFileMovedIntoPlaceCrossesFileSystemsByCopy) {
    QTemporaryDir shm(QStringLiteral("/dev/shm/mirelo-test-XXXXXX"));
    QTemporaryDir out;
    if (!shm.isValid() || QStorageInfo(shm.path()).device() == QStorageInfo(out.path()).device()) {
        GTEST_SKIP() << "no second file system for the temporary folder";
    }
    const QString finished = shm.filePath(QStringLiteral("estimate.gif"));
    const QByteArray bytes(3 << 20, 'g');  // more than one chunk of the copy
    write(finished, bytes);
    const QString dest = out.filePath(QStringLiteral("copied.gif"));
    write(dest, "old");
    EXPECT_EQ(AtomicFile::moveIntoPlace(finished, dest), std::nullopt);
    EXPECT_EQ(contents(dest), bytes);
    EXPECT_FALSE(QFileInfo::exists(finished));
    // Only the finished file: the copy went through a temporary file.
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("copied.gif")});
}

TEST(AtomicFile, ReplacingKeepsTheOldFilesPermissionBits) {
    NamedCalls named;
    for (FileSyncCalls* calls : {&FileSyncCalls::system(), static_cast<FileSyncCalls*>(&named)}) {
        for (const mode_t mode : {0600, 0640, 0444}) {
            QTemporaryDir dir;
            const QString destination = dir.filePath(QStringLiteral("clip.gif"));
            write(destination, "old");
            ASSERT_EQ(::chmod(QFile::encodeName(destination).constData(), mode), 0);
            AtomicFile file(destination, *calls);
            ASSERT_TRUE(file.isOpen());
            write(file.tempPath(), "new");
            ASSERT_TRUE(file.commit());
            EXPECT_EQ(contents(destination), "new");
            EXPECT_EQ(modeOf(destination), mode);
            EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("clip.gif")});
        }
    }
    // A new file gets the usual bits.
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("new.gif"));
    AtomicFile file(fresh);
    write(file.tempPath(), "new");
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(modeOf(fresh), mode_t{0644});
}

TEST(AtomicFile, AnUnfinishedFileHasNoNameAndANamedOnesLeftoversAreFoundLater) {
    QTemporaryDir dir;
    const QString destination = dir.filePath(QStringLiteral("clip.mp4"));
    {
        AtomicFile file(destination);
        ASSERT_TRUE(file.isOpen());
        EXPECT_FALSE(file.isNamed());
        write(file.tempPath(), "half a file");
        EXPECT_TRUE(filesIn(dir).isEmpty());  // nothing a crash could leave
    }
    EXPECT_TRUE(filesIn(dir).isEmpty());

    // The named fallback tells where it writes, and what a crash left of it goes later.
    QStringList told;
    AtomicFile::setNamedFileObserver([&told](const QString& folder) { told << folder; });
    NamedCalls named;
    QString left;
    {
        AtomicFile file(destination, named);
        ASSERT_TRUE(file.isNamed());
        left = file.tempPath();
        ASSERT_TRUE(QFile::copy(left, left + QStringLiteral(".keep")));
    }
    AtomicFile::setNamedFileObserver({});
    EXPECT_EQ(told, QStringList{QFileInfo(destination).absolutePath()});
    ASSERT_TRUE(QFile::rename(left + QStringLiteral(".keep"), left));
    const QString old = dir.filePath(QStringLiteral("mirelo-limit-1234.gif"));
    const QString others = dir.filePath(QStringLiteral(".clip.mp4.part"));  // not our pattern
    write(old, "x");
    write(others, "x");
    const QString fresh = dir.filePath(QStringLiteral(".clip.mp4.AbC123.part"));
    write(fresh, "x");
    for (const QString& path : {left, old, others}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-7200),
                                  QFileDevice::FileModificationTime));
    }
    QStringList removed = AtomicFile::removeLeftovers(dir.path(), 3600);
    removed.sort();
    EXPECT_EQ(removed,
              (QStringList{QFileInfo(left).fileName(), QStringLiteral("mirelo-limit-1234.gif")}));
    EXPECT_EQ(filesIn(dir),
              (QStringList{QFileInfo(fresh).fileName(), QFileInfo(others).fileName()}));
}

}  // namespace
}  // namespace mirelo
