// Sticker pictures are files the user picks: any bytes at all.
#include "FuzzSupport.h"
#include "overlay/StickerLoader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mirelo::fuzz::ensureApplication();
    // Decoded whole, and scaled into a small frame as a sticker on a
    // recording is.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const mirelo::Image picture = mirelo::StickerLoader::decode(bytes).image;
    const mirelo::Image fitted = mirelo::StickerLoader::decode(bytes, QSize(64, 48)).image;
    if (!fitted.isNull() && (fitted.width() > 64 || fitted.height() > 48)) {
        __builtin_trap();
    }
    if (!picture.isNull() && (picture.width() > mirelo::StickerLoader::kMaxSide ||
                              picture.height() > mirelo::StickerLoader::kMaxSide)) {
        __builtin_trap();
    }
    return 0;
}
