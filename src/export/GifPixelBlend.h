#pragma once

#include "export/GIFQuantizer.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>

namespace mirelo::GIFQuantizer {

// One premultiplied pixel blended over opaque white: c + (255 - a) per channel.
inline RGB overWhite(const uchar* p) {
    const int clear = 255 - p[3];
    return {static_cast<uint8_t>(std::min(255, p[0] + clear)),
            static_cast<uint8_t>(std::min(255, p[1] + clear)),
            static_cast<uint8_t>(std::min(255, p[2] + clear))};
}

}  // namespace mirelo::GIFQuantizer
