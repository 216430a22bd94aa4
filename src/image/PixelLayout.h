#pragma once

#include <cstdint>

// Conversions from pixel layouts that other parts of the desktop hand us to the standard one
// (8-bit R, G, B, A in memory order, alpha premultiplied).
namespace mirelo::PixelLayout {

enum class Stores { cached, streaming };

// Rewrites `count` opaque pixels given as 32-bit words 0x??RRGGBB, in memory order B, G, R, x
// (the fourth byte is ignored), as R, G, B, 255. `in` and `out` may be the same memory.
// Stores::streaming bypasses the cache for output that is read much later.
void bgrxToStandard(const uint32_t* in, uint8_t* out, int count, Stores stores = Stores::cached);

}  // namespace mirelo::PixelLayout
