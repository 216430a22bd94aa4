#include "export/ExportTypes.h"

#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>

namespace mirelo {

ExportError ExportError::of(Kind kind) {
    ExportError error;
    error.kind = kind;
    if (kind == Kind::encodeFailed) {
        error.cause = Cause::unknown;
    }
    return error;
}

ExportError ExportError::encodeFailed(Cause cause) {
    ExportError error;
    error.cause = cause;
    return error;
}

ExportError ExportError::encodeFailed(const QString& detail) {
    ExportError error;
    error.detail = detail;
    return error;
}

ExportError ExportError::frameWriteFailed(int index) {
    ExportError error;
    error.kind = Kind::frameWriteFailed;
    error.frame = index;
    return error;
}

ExportStatus explainFailure(ExportStatus status, const QString& destination,
                            const FreeSpaceFn& freeSpace) {
    if (!status || status->isCancellation() || status->kind == ExportError::Kind::tooLarge ||
        status->kind == ExportError::Kind::diskFull) {
        return status;
    }
    const QString folder = QFileInfo(destination).absolutePath();
    qint64 free = -1;
    if (freeSpace) {
        free = freeSpace(folder);
    } else {
        struct statvfs info {};
        if (statvfs(QFile::encodeName(folder).constData(), &info) == 0) {
            free = static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
        }
    }
    // Less than a block or two is left when a write failed for want of room.
    constexpr qint64 kNearlyNothing = 64 * 1024;
    if (free >= 0 && free < kNearlyNothing) {
        return ExportError::diskFull(folder);
    }
    return status;
}

namespace Exporter {

ExportError fileWriteError(const QString& destination, const QString& detail) {
    ExportError error;
    error.kind = ExportError::Kind::writeFailed;
    error.path = destination;
    error.detail = detail;
    return error;
}

ExportError fileWriteError(const QString& destination, ExportError::Cause cause) {
    ExportError error = fileWriteError(destination, QString());
    error.cause = cause;
    return error;
}

}  // namespace Exporter

}  // namespace mirelo
