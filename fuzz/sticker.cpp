// Sticker pictures are files the user picks: any bytes at all.
#include "FuzzSupport.h"
#include "overlay/StickerLoader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mirelo::fuzz::ensureApplication();
    const mirelo::Image picture = mirelo::StickerLoader::decode(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!picture.isNull() && (picture.width() > mirelo::StickerLoader::kMaxSide ||
                              picture.height() > mirelo::StickerLoader::kMaxSide)) {
        __builtin_trap();
    }
    return 0;
}
