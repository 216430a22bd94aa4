#include "ui/editor/EditorTexts.h"

#include <QCoreApplication>

namespace mirelo::editortexts {

namespace {

QString gigabytes(double bytes) {
    return QString::number(bytes / 1e9, 'f', 1);
}

}  // namespace

QString describe(const EditorRefusal& refusal) {
    switch (refusal.kind) {
        case EditorRefusal::Kind::lastFrame:
            return QCoreApplication::translate("mirelo::EditorTexts",
                                               "不能删除全部帧，至少要保留一帧。");
        case EditorRefusal::Kind::picture:
            return describe(refusal.picture);
        case EditorRefusal::Kind::frameStore:
            break;
    }
    return refusal.detail;
}

QString describe(StickerLoader::Failure failure) {
    using Failure = StickerLoader::Failure;
    switch (failure) {
        case Failure::notAPicture:
            return QCoreApplication::translate("mirelo::EditorTexts",
                                               "这个文件不是 PNG 或 JPEG 图片。");
        case Failure::broken:
            return QCoreApplication::translate("mirelo::EditorTexts",
                                               "这个图片文件已损坏或不完整。");
        case Failure::tooLarge:
            return QCoreApplication::translate("mirelo::EditorTexts", "这张图片太大，无法使用。");
        case Failure::unreadable:
        case Failure::none:
            break;
    }
    return QCoreApplication::translate("mirelo::EditorTexts", "无法读取这个图片文件。");
}

QString describe(const MemoryShortage& shortage) {
    return QCoreApplication::translate(
               "mirelo::EditorTexts",
               "缩放后的帧需要约 %1 GB 内存，超过可用内存（约 %2 GB），请选择更小的尺寸。")
        .arg(gigabytes(shortage.neededBytes), gigabytes(shortage.availableBytes));
}

}  // namespace mirelo::editortexts
