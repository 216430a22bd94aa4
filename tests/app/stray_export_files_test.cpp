// What a crash left of an export with a named temporary file goes at the next start.
#include "app/StrayExportFiles.h"
#include "export/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;

namespace {

class NamedCalls : public FileSyncCalls {
public:
    bool unnamedTemporaryFiles() override { return false; }
};

void makeOld(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
}

}  // namespace

TEST(StrayExportFiles, TheNextStartRemovesWhatACrashLeftInTheFoldersWrittenTo) {
    QTemporaryDir cache, written, other;
    const QString list = QDir(cache.path()).filePath(QStringLiteral("export-folders"));
    StrayExportFiles::sweepAndWatch(list);  // the first run: nothing to remove
    QString left;
    {
        NamedCalls named;
        AtomicFile file(QDir(written.path()).filePath(QStringLiteral("clip.gif")), named);
        ASSERT_TRUE(file.isNamed());
        left = file.tempPath();
        ASSERT_TRUE(QFile::copy(left, left + QStringLiteral(".crash")));  // as a crash leaves it
    }
    ASSERT_TRUE(QFile::rename(left + QStringLiteral(".crash"), left));
    makeOld(left);
    // The same name pattern in a folder this program did not write to stays.
    const QString elsewhere = QDir(other.path()).filePath(QStringLiteral(".a.gif.AbC123.part"));
    ASSERT_TRUE(QFile::copy(left, elsewhere));
    makeOld(elsewhere);

    StrayExportFiles::sweepAndWatch(list);  // the next start
    AtomicFile::setNamedFileObserver({});
    EXPECT_FALSE(QFile::exists(left));
    EXPECT_TRUE(QFile::exists(elsewhere));
    EXPECT_FALSE(QFile::exists(list));  // written anew by this run, as it writes named files
}
