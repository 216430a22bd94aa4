#include "i18n/ModelTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace mirelo::i18n {

namespace {

QString text(const char* source) {
    return QCoreApplication::translate("mirelo::ModelTexts", source);
}

QString causeText(ExportError::Cause cause) {
    using Cause = ExportError::Cause;
    switch (cause) {
        case Cause::emptyFrame:
            return QCoreApplication::translate("mirelo::ModelTexts", "帧数据为空");
        case Cause::frameNotWritten:
            return QCoreApplication::translate("mirelo::ModelTexts", "写入帧失败");
        case Cause::noVideoInput:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法添加视频输入");
        case Cause::encoderNotStarted:
            return QCoreApplication::translate("mirelo::ModelTexts", "AVAssetWriter 启动失败");
        case Cause::pixelBuffer:
            return QCoreApplication::translate("mirelo::ModelTexts", "像素缓冲区创建失败");
        case Cause::unknown:
            return QCoreApplication::translate("mirelo::ModelTexts", "未知错误");
        case Cause::cannotCreate:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法创建文件");
        case Cause::cannotReplace:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法替换目标文件");
        case Cause::none:
            break;
    }
    return {};
}

}  // namespace

QString systemReason(const QString& detail) {
    struct Reason {
        int code;
        const char* words;
    };
    static const Reason reasons[] = {
        {EPERM, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "操作不被允许")},
        {EACCES, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "没有权限")},
        {ENOENT, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "文件或文件夹不存在")},
        {ENOSPC, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "磁盘空间不足")},
        {EDQUOT, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "超出磁盘配额")},
        {EROFS, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "文件系统是只读的")},
        {EISDIR, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "这是一个文件夹")},
        {ENOTDIR, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "路径中有一项不是文件夹")},
        {ENAMETOOLONG, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "文件名太长")},
        {EEXIST, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "文件已存在")},
        {EIO, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "输入/输出错误")},
        {EXDEV, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "不能跨文件系统移动")},
        {EMFILE, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "打开的文件太多")},
        {EFBIG, QT_TRANSLATE_NOOP("mirelo::ModelTexts", "文件太大")},
    };
    for (const Reason& reason : reasons) {
        if (detail.compare(QString::fromLocal8Bit(std::strerror(reason.code)),
                           Qt::CaseInsensitive) == 0) {
            return text(reason.words);
        }
    }
    return detail;
}

QString describe(const ExportError& error) {
    using Kind = ExportError::Kind;
    switch (error.kind) {
        case Kind::encodeFailed: {
            const QString why =
                error.cause == ExportError::Cause::none ? error.detail : causeText(error.cause);
            if (why.isEmpty()) {
                return QCoreApplication::translate("mirelo::ModelTexts", "编码失败");
            }
            return QCoreApplication::translate("mirelo::ModelTexts", "编码失败:%1").arg(why);
        }
        case Kind::writeFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法写入“%1”:%2")
                .arg(error.path, error.cause == ExportError::Cause::none
                                     ? systemReason(error.detail)
                                     : causeText(error.cause));
        case Kind::diskFull:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "磁盘已满：%1 所在的磁盘没有剩余空间。")
                .arg(QDir::toNativeSeparators(error.folder));
        case Kind::noFrames:
            return QCoreApplication::translate("mirelo::ModelTexts", "没有可导出的帧。");
        case Kind::gifCreateFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法创建 GIF 文件。");
        case Kind::gifWriteFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "GIF 写入失败。");
        case Kind::webpConfigInvalid:
            return QCoreApplication::translate("mirelo::ModelTexts", "WebP 编码参数无效。");
        case Kind::webpEncoderFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "WebP 编码器创建失败。");
        case Kind::pixelImportFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "像素数据导入失败。");
        case Kind::frameWriteFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "第 %1 帧写入失败。")
                .arg(error.frame + 1);
        case Kind::webpAssembleFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "WebP 文件组装失败。");
        case Kind::tooLarge:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "文件超出大小限制:最小的设置仍有 %1(限制 %2)")
                .arg(formatByteCount(error.size), formatByteCount(error.limit));
        case Kind::cancelled:
            return QCoreApplication::translate("mirelo::ModelTexts", "已取消");
    }
    return QCoreApplication::translate("mirelo::ModelTexts", "编码失败");
}

QString formatByteCount(qint64 bytes) {
    if (bytes < 1000) {
        const int count = int(std::max<qint64>(bytes, 0));
        return QCoreApplication::translate("mirelo::ModelTexts", "%n 字节", nullptr, count);
    }
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB"};
    static const int decimals[] = {0, 1, 2, 2, 2};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    while (unit < 4) {
        // Move up when the value would round to 1000 or more in this unit.
        const double scale = std::pow(10.0, decimals[unit]);
        if (std::round(value * scale) / scale < 1000.0) {
            break;
        }
        value /= 1000.0;
        ++unit;
    }
    QString number = QString::number(value, 'f', decimals[unit]);
    if (number.contains(QLatin1Char('.'))) {
        while (number.endsWith(QLatin1Char('0'))) {
            number.chop(1);
        }
        if (number.endsWith(QLatin1Char('.'))) {
            number.chop(1);
        }
    }
    return number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString describe(const SizeLimit::Changes& changes) {
    QStringList parts;
    if (changes.quality) {
        parts << QCoreApplication::translate("mirelo::ModelTexts", "品质 %1").arg(*changes.quality);
    }
    if (changes.gifLossy) {
        parts
            << QCoreApplication::translate("mirelo::ModelTexts", "有损 %1").arg(*changes.gifLossy);
    }
    if (changes.reduceFramesPercent) {
        parts << QCoreApplication::translate("mirelo::ModelTexts", "减帧 %1%")
                     .arg(*changes.reduceFramesPercent);
    }
    if (changes.keptFrames) {
        parts << QCoreApplication::translate("mirelo::ModelTexts", "保留 %n 帧", nullptr,
                                             *changes.keptFrames);
    }
    if (changes.resizePercent) {
        parts << QCoreApplication::translate("mirelo::ModelTexts", "缩放 %1%")
                     .arg(*changes.resizePercent);
    }
    return parts.join(QStringLiteral(" · "));
}

QString describe(const SizeEstimate& estimate) {
    using State = SizeEstimate::State;
    QString size;
    switch (estimate.state) {
        case State::computing:
            return QCoreApplication::translate("mirelo::ModelTexts", "计算中…");
        case State::failed:
            return QCoreApplication::translate("mirelo::ModelTexts", "估算失败");
        case State::overLimit:
            return QCoreApplication::translate("mirelo::ModelTexts", "超出限制:最小 %1")
                .arg(formatByteCount(estimate.bytes));
        case State::exact:
            size = formatByteCount(estimate.bytes);
            break;
        case State::approximate:
            size = QCoreApplication::translate("mirelo::ModelTexts", "约 %1")
                       .arg(formatByteCount(estimate.bytes));
            break;
    }
    if (estimate.changes.any()) {
        size += QStringLiteral(" · ") + describe(estimate.changes);
    }
    return size;
}

QString describe(const ProcessedInfo& info) {
    if (!info.known) {
        return QStringLiteral("\u2014");
    }
    return QCoreApplication::translate("mirelo::ModelTexts", "%n 帧 · %1×%2", nullptr, info.frames)
        .arg(info.size.width())
        .arg(info.size.height());
}

QString describe(const StoreError& error) {
    using Kind = StoreError::Kind;
    switch (error.kind) {
        case Kind::lowDisk:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "磁盘空间不足,录制已停止。已录下的画面都保留着。");
        case Kind::writeFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法写入录制缓存:%1")
                .arg(systemReason(QString::fromLocal8Bit(std::strerror(error.systemError))));
        case Kind::cannotCreate:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法创建录制缓存文件夹 %1。")
                .arg(QDir::toNativeSeparators(error.path));
        case Kind::unavailable:
            return QCoreApplication::translate("mirelo::ModelTexts", "录制缓存已不可用。");
        case Kind::emptyFrame:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法写入录制缓存:空白画面。");
        case Kind::compressFailed:
            return QCoreApplication::translate("mirelo::ModelTexts", "无法压缩录制的画面。");
    }
    return QCoreApplication::translate("mirelo::ModelTexts", "录制缓存已不可用。");
}

QString describe(const RecorderError& error) {
    using Kind = RecorderError::Kind;
    switch (error.kind) {
        case Kind::noPermission:
            if (!error.platformDescription.isEmpty()) {
                return error.platformDescription;  // the platform's own account of the refusal
            }
            return QCoreApplication::translate(
                "mirelo::ModelTexts",
                "没有屏幕录制权限:无法读取 X 显示器的画面。\n请确认 Mirelo 连接的 X "
                "服务器允许它读取屏幕,然后重试。");
        case Kind::displayNotFound:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "找不到框选区域所在的显示器。");
        case Kind::noFrames:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "没有采集到任何画面帧,请重试。");
        case Kind::busy:
            return QCoreApplication::translate("mirelo::ModelTexts", "录制正在启动或停止,请稍候。");
        case Kind::store:
            return describe(error.storeError);
        case Kind::noRoomToRecord:
            return QCoreApplication::translate(
                       "mirelo::ModelTexts",
                       "磁盘空间不足，录制没有开始，没有录下任何画面。录制缓存 %1 所在的磁盘还需要 "
                       "%2 可用空间。")
                .arg(QDir::toNativeSeparators(error.folder), formatByteCount(error.neededBytes));
        case Kind::otherMonitorShared:
            return QCoreApplication::translate("mirelo::ModelTexts",
                                               "共享的不是录制框所在的显示器“%1”,录制没有开始。"
                                               "请再次录制,并在屏幕共享对话框中选择显示器“%1”。")
                .arg(error.displayName);
        case Kind::monitorUnidentified:
            return QCoreApplication::translate(
                       "mirelo::ModelTexts",
                       "无法确定屏幕共享给出的是哪个显示器的画面,为免录下错误的画面或一片黑色,"
                       "录制没有开始。请把录制框放在一个显示器上,再次录制,"
                       "并在屏幕共享对话框中选择显示器“%1”。")
                .arg(error.displayName);
        case Kind::platform:
            break;
    }
    return error.platformDescription;
}

}  // namespace mirelo::i18n
