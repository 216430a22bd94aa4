#include "export/ExportTypes.h"

#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>

namespace mirelo {

ExportError ExportError::of(Kind kind) {
    switch (kind) {
        case Kind::noFrames:
            return {kind, QStringLiteral("没有可导出的帧。")};
        case Kind::gifCreateFailed:
            return {kind, QStringLiteral("无法创建 GIF 文件。")};
        case Kind::gifWriteFailed:
            return {kind, QStringLiteral("GIF 写入失败。")};
        case Kind::webpConfigInvalid:
            return {kind, QStringLiteral("WebP 编码参数无效。")};
        case Kind::webpEncoderFailed:
            return {kind, QStringLiteral("WebP 编码器创建失败。")};
        case Kind::pixelImportFailed:
            return {kind, QStringLiteral("像素数据导入失败。")};
        case Kind::webpAssembleFailed:
            return {kind, QStringLiteral("WebP 文件组装失败。")};
        case Kind::cancelled:
            return {kind, QStringLiteral("已取消")};
        case Kind::encodeFailed:
        case Kind::diskFull:
        case Kind::writeFailed:
        case Kind::frameWriteFailed:
        case Kind::tooLarge:
            break;
    }
    // A kind whose message needs its details, asked for without them.
    return {kind, QStringLiteral("编码失败")};
}

ExportError ExportError::encodeFailed(const QString& detail) {
    return {Kind::encodeFailed, QStringLiteral("编码失败:") + detail};
}

ExportError ExportError::frameWriteFailed(int index) {
    return {Kind::frameWriteFailed,
            QStringLiteral("第 ") + QString::number(index + 1) + QStringLiteral(" 帧写入失败。")};
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

}  // namespace mirelo
