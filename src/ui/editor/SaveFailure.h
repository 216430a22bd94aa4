#pragma once

#include <QString>

namespace mirelo {

// Why a file could not be saved at a path, as found on the file system once
// the save has failed: the folder is gone or is no folder, it may not be
// written, its disk is read-only or (nearly) full.
struct WriteProblem {
    enum class Kind {
        none,           // nothing found wrong with the folder
        folderMissing,  // the folder no longer exists
        notAFolder,     // the path's folder is a file
        noPermission,   // files may not be created in the folder
        readOnly,       // the folder's disk is mounted read-only
        diskFull,       // no room (or almost none) left on the folder's disk
        other,          // creating a file in the folder failed otherwise
    };

    Kind kind = Kind::none;
    QString folder;         // the destination's folder, absolute
    int systemError = 0;    // errno of the failed probe, for `other`
    qint64 bytesFree = -1;  // for diskFull: what is left, -1 unknown

    // The problem a failed creation of a file in `folder` reports with this
    // errno value.
    static WriteProblem fromErrno(int error, const QString& folder);
};

// Less free space than this on the destination's disk is taken as the cause
// of a failed save.
inline constexpr qint64 kLowDiskSpace = 256LL * 1024 * 1024;

// Looks at the destination's folder: whether it exists, is a folder, takes a
// new file (one is created there and removed at once) and has room left.
WriteProblem findWriteProblem(const QString& destination);

// The informative text of a failed save: the reason, naming the folder
// ("没有在文件夹“/x”中写入的权限。"), or else the file the save was meant for.
QString describeSaveFailure(const WriteProblem& problem, const QString& destination);

}  // namespace mirelo
