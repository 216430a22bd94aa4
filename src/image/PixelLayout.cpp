#include "image/PixelLayout.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace mirelo::PixelLayout {

namespace {

inline uint32_t standardPixel(uint32_t x) {
    return 0xff000000u | ((x & 0xffu) << 16) | (x & 0xff00u) | ((x >> 16) & 0xffu);
}

}  // namespace

void bgrxToStandard(const uint32_t* in, uint8_t* out, int count, Stores stores) {
    // Words are read and written through memcpy so that `out` needs no particular alignment.
    auto store = [out](int i, uint32_t value) {
        std::memcpy(out + static_cast<size_t>(i) * 4, &value, 4);
    };
    int i = 0;
#ifdef __SSE2__
    while (i < count &&
           (reinterpret_cast<uintptr_t>(out + static_cast<size_t>(i) * 4) & 15u) != 0) {
        store(i, standardPixel(in[i]));
        ++i;
    }
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i middle = _mm_set1_epi32(0xff00);
    const bool streaming = stores == Stores::streaming;
    for (; i + 4 <= count; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(x, 16), low);
        const __m128i blue = _mm_slli_epi32(_mm_and_si128(x, low), 16);
        const __m128i green = _mm_and_si128(x, middle);
        const __m128i y = _mm_or_si128(_mm_or_si128(red, blue), _mm_or_si128(green, alpha));
        auto* target = reinterpret_cast<__m128i*>(out + static_cast<size_t>(i) * 4);
        if (streaming) {
            _mm_stream_si128(target, y);
        } else {
            _mm_store_si128(target, y);
        }
    }
    if (streaming) {
        _mm_sfence();  // the streamed stores are complete before anything reads the pixels
    }
#else
    (void)stores;
#endif
    for (; i < count; ++i) {
        store(i, standardPixel(in[i]));
    }
}

}  // namespace mirelo::PixelLayout
