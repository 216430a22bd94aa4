// Why a save failed, as the alert says it: the folder's state on the disk
// found after the failure, in words that name the folder.
#include "ui/editor/SaveFailure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace mirelo {
namespace {

using Kind = WriteProblem::Kind;

TEST(SaveFailure, TheFolderOnTheDiskGivesTheReason) {
    QTemporaryDir dir;
    const QString gone = dir.filePath(QStringLiteral("gone"));
    WriteProblem problem = findWriteProblem(gone + QStringLiteral("/a.gif"));
    EXPECT_EQ(problem.kind, Kind::folderMissing);
    EXPECT_EQ(problem.folder, gone);
    EXPECT_EQ(describeSaveFailure(problem, gone + QStringLiteral("/a.gif")),
              QStringLiteral("文件夹“%1”已不存在。").arg(gone));

    const QString file = dir.filePath(QStringLiteral("file"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    problem = findWriteProblem(file + QStringLiteral("/a.gif"));
    EXPECT_EQ(problem.kind, Kind::notAFolder);
    EXPECT_TRUE(describeSaveFailure(problem, {}).contains(file));

    // A folder that takes files, on a disk with room: the file is named, and
    // the probe leaves nothing behind.
    const QString fine = dir.filePath(QStringLiteral("a.gif"));
    problem = findWriteProblem(fine);
    if (problem.kind == Kind::none) {
        EXPECT_EQ(describeSaveFailure(problem, fine), QStringLiteral("文件：%1").arg(fine));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
}

TEST(SaveFailure, EachSystemErrorSaysItsOwnReasonWithTheFolder) {
    const QString folder = QStringLiteral("/media/stick/clips");
    struct Case {
        int error;
        Kind kind;
        const char* says;
    };
    for (const Case& c :
         {Case{EACCES, Kind::noPermission, "没有在文件夹“/media/stick/clips”中写入的权限"},
          Case{EPERM, Kind::noPermission, "权限"}, Case{EROFS, Kind::readOnly, "只读"},
          Case{ENOSPC, Kind::diskFull, "磁盘已满"}, Case{EDQUOT, Kind::diskFull, "磁盘已满"},
          Case{ENOENT, Kind::folderMissing, "已不存在"}, Case{EIO, Kind::other, "系统错误"}}) {
        const WriteProblem problem = WriteProblem::fromErrno(c.error, folder);
        EXPECT_EQ(problem.kind, c.kind) << c.error;
        const QString text = describeSaveFailure(problem, folder + QStringLiteral("/a.gif"));
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();
        EXPECT_TRUE(text.contains(folder)) << text.toStdString();
    }
    WriteProblem low;
    low.kind = Kind::diskFull;
    low.folder = folder;
    low.bytesFree = 12'300'000;
    EXPECT_EQ(describeSaveFailure(low, {}),
              QStringLiteral("文件夹“/media/stick/clips”所在的磁盘快满了，只剩 12.3 MB。"));
}

}  // namespace
}  // namespace mirelo
