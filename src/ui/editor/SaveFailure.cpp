#include "ui/editor/SaveFailure.h"

#include "i18n/ModelTexts.h"

#include "export/ExportModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirelo {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

WriteProblem WriteProblem::fromErrno(int error, const QString& folder) {
    WriteProblem problem;
    problem.folder = folder;
    problem.systemError = error;
    switch (error) {
        case 0:
            problem.kind = Kind::none;
            break;
        case EACCES:
        case EPERM:
            problem.kind = Kind::noPermission;
            break;
        case EROFS:
            problem.kind = Kind::readOnly;
            break;
        case ENOSPC:
        case EDQUOT:
            problem.kind = Kind::diskFull;
            break;
        case ENOENT:
            problem.kind = Kind::folderMissing;
            break;
        case ENOTDIR:
            problem.kind = Kind::notAFolder;
            break;
        default:
            problem.kind = Kind::other;
            break;
    }
    return problem;
}

WriteProblem findWriteProblem(const QString& destination) {
    const QString folder = QFileInfo(destination).absolutePath();
    WriteProblem problem;
    problem.folder = folder;
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        return WriteProblem::fromErrno(errno, folder);
    }
    if (!S_ISDIR(info.st_mode)) {
        return WriteProblem::fromErrno(ENOTDIR, folder);
    }
    // Creating a file is the one sure test of whether the folder takes one:
    // permission bits, ACLs, read-only mounts and immutable folders all say
    // no here with their own errno.
    QByteArray probe = native + "/.mirelo-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return WriteProblem::fromErrno(errno, folder);
    }
    ::close(fd);
    ::unlink(probe.constData());

    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.isReadOnly()) {
        problem.kind = WriteProblem::Kind::readOnly;
        return problem;
    }
    const qint64 free = storage.isValid() ? storage.bytesAvailable() : -1;
    if (free >= 0 && free < kLowDiskSpace) {
        problem.kind = WriteProblem::Kind::diskFull;
        problem.bytesFree = free;
    }
    return problem;
}

QString describeSaveFailure(const WriteProblem& problem, const QString& destination) {
    const QString folder = shown(problem.folder);
    switch (problem.kind) {
        case WriteProblem::Kind::folderMissing:
            return QCoreApplication::translate("SaveFailure", "文件夹“%1”已不存在。").arg(folder);
        case WriteProblem::Kind::notAFolder:
            return QCoreApplication::translate("SaveFailure", "“%1”不是文件夹。").arg(folder);
        case WriteProblem::Kind::noPermission:
            return QCoreApplication::translate("SaveFailure", "没有在文件夹“%1”中写入的权限。")
                .arg(folder);
        case WriteProblem::Kind::readOnly:
            return QCoreApplication::translate("SaveFailure", "文件夹“%1”所在的磁盘是只读的。")
                .arg(folder);
        case WriteProblem::Kind::diskFull:
            if (problem.bytesFree > 0) {
                return QCoreApplication::translate("SaveFailure",
                                                   "文件夹“%1”所在的磁盘快满了，只剩 %2。")
                    .arg(folder, i18n::formatByteCount(problem.bytesFree));
            }
            return QCoreApplication::translate("SaveFailure", "文件夹“%1”所在的磁盘已满。")
                .arg(folder);
        case WriteProblem::Kind::other:
            return QCoreApplication::translate("SaveFailure",
                                               "无法在文件夹“%1”中创建文件（系统错误 %2）。")
                .arg(folder)
                .arg(problem.systemError);
        case WriteProblem::Kind::none:
            break;
    }
    return QCoreApplication::translate("SaveFailure", "文件：%1").arg(shown(destination));
}

}  // namespace mirelo
