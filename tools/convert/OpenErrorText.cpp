#include "convert/OpenErrorText.h"

#include "i18n/ModelTexts.h"
#include "import/AnimationOpener.h"

#include <QCoreApplication>

namespace mirelo::convert {

QString openErrorLine(const OpenError& error) {
    const QString& path = error.path;
    switch (error.problem) {
        case OpenProblem::cannotRead:
            return QCoreApplication::translate("mirelo::convert", "无法读取 %1").arg(path);
        case OpenProblem::emptyFile:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:文件是空的")
                .arg(path);
        case OpenProblem::unknownFormat:
            return QCoreApplication::translate("mirelo::convert",
                                               "无法打开 %1:不是 GIF、WebP、图片或视频")
                .arg(path);
        case OpenProblem::damaged:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:文件已损坏(%2)")
                .arg(path, error.detail);
        case OpenProblem::tooLarge:
            return QCoreApplication::translate(
                       "mirelo::convert",
                       "无法打开 %1:它的帧(%2x%3)每边超过 %4 像素,或超出内存所能容纳")
                .arg(path)
                .arg(error.size.width())
                .arg(error.size.height())
                .arg(kMaxOpenSide);
        case OpenProblem::tooManyFrames:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:它超过 %2 帧")
                .arg(path)
                .arg(error.limit);
        case OpenProblem::noFrames:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:里面没有任何帧")
                .arg(path);
        case OpenProblem::noVideoStream:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:里面没有视频画面")
                .arg(path);
        case OpenProblem::unsupportedCodec:
            return QCoreApplication::translate("mirelo::convert",
                                               "无法打开 %1:无法解码这种视频格式")
                .arg(path);
        case OpenProblem::storeFailed:
            return QCoreApplication::translate("mirelo::convert", "无法打开 %1:%2")
                .arg(path, mirelo::i18n::describe(error.storeError));
        case OpenProblem::cancelled:
            break;
    }
    return QCoreApplication::translate("mirelo::convert", "已取消");
}

}  // namespace mirelo::convert
