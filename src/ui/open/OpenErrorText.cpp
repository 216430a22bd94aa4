#include "ui/open/OpenErrorText.h"

#include "i18n/ModelTexts.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace mirelo {

namespace {

QString reason(const OpenError& error) {
    switch (error.problem) {
        case OpenProblem::cannotRead:
            return QCoreApplication::translate("OpenError", "文件不存在或无法读取。");
        case OpenProblem::emptyFile:
            return QCoreApplication::translate("OpenError", "文件是空的。");
        case OpenProblem::unknownFormat:
            return QCoreApplication::translate(
                "OpenError", "这不是 Mirelo 能打开的 GIF、WebP、图片或视频文件。");
        case OpenProblem::damaged:
            return QCoreApplication::translate("OpenError", "文件已损坏或不完整。");
        case OpenProblem::tooLarge:
            if (error.limit > 0) {
                return QCoreApplication::translate("OpenError",
                                                   "画面太大（%1 × %2），视频的画面最多 %L3 像素。")
                    .arg(error.size.width())
                    .arg(error.size.height())
                    .arg(error.limit);
            }
            return QCoreApplication::translate("OpenError",
                                               "画面太大（%1 × %2），每边最多 %3 像素。")
                .arg(error.size.width())
                .arg(error.size.height())
                .arg(kMaxOpenSide);
        case OpenProblem::tooManyFrames:
            return QCoreApplication::translate("OpenError", "帧数太多，最多 %1 帧。")
                .arg(error.limit);
        case OpenProblem::noFrames:
            return QCoreApplication::translate("OpenError", "文件里没有任何帧。");
        case OpenProblem::noVideoStream:
            return QCoreApplication::translate("OpenError", "文件里没有视频画面。");
        case OpenProblem::unsupportedCodec:
            return QCoreApplication::translate("OpenError", "无法解码这种视频格式。");
        case OpenProblem::storeFailed:
            return i18n::describe(error.storeError);
        case OpenProblem::cancelled:
            return QCoreApplication::translate("OpenError", "已取消。");
    }
    return {};
}

}  // namespace

QString describeOpenError(const OpenError& error) {
    return QCoreApplication::translate("OpenError", "无法打开“%1”：%2")
        .arg(QFileInfo(error.path).fileName(), reason(error));
}

QString openFileFilter() {
    return QCoreApplication::translate(
        "OpenError",
        "动画、图片和视频 (*.gif *.webp *.png *.apng *.jpg *.jpeg *.bmp *.mp4 *.webm "
        "*.mkv *.mov *.avi);;所有文件 (*)");
}

}  // namespace mirelo
