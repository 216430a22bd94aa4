#include "image/ImageTransforms.h"

#include "image/ImageServices.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

namespace mirelo::ImageTransforms {

namespace {

// Pixels are moved as whole 32-bit words. A quarter turn walks the source in
// square tiles so that both the reads and the scattered writes stay in cache,
// and inside a tile moves 4 x 4 blocks with an SSE2 transpose.
constexpr int kTile = 64;

struct Rows {
    const uchar* base;
    qsizetype stride;
    const uint32_t* operator[](int y) const {
        return reinterpret_cast<const uint32_t*>(base + stride * y);
    }
};

struct MutableRows {
    uchar* base;
    qsizetype stride;
    uint32_t* operator[](int y) const { return reinterpret_cast<uint32_t*>(base + stride * y); }
};

// Source pixel (i, j) to its place in the turned image.
inline void placeOne(const Rows& src, const MutableRows& dst, int i, int j, int w, int h,
                     bool clockwise) {
    if (clockwise) {
        dst[i][h - 1 - j] = src[j][i];
    } else {
        dst[w - 1 - i][j] = src[j][i];
    }
}

#if defined(__SSE2__)
// Turns the 4 x 4 block whose top-left source pixel is (i, j).
inline void placeBlock(const Rows& src, const MutableRows& dst, int i, int j, int w, int h,
                       bool clockwise) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j] + i));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j + 1] + i));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j + 2] + i));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[j + 3] + i));
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);  // a0 b0 a1 b1
    const __m128i t1 = _mm_unpacklo_epi32(r2, r3);  // c0 d0 c1 d1
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1);  // a2 b2 a3 b3
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);  // c2 d2 c3 d3
    // Column k of the block: the pixels of rows j .. j+3 in source column i+k.
    __m128i c[4] = {_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1),
                    _mm_unpacklo_epi64(t2, t3), _mm_unpackhi_epi64(t2, t3)};
    for (int k = 0; k < 4; ++k) {
        if (clockwise) {
            // Destination row i+k holds the column bottom-up at x = H-4-j.
            const __m128i reversed = _mm_shuffle_epi32(c[k], _MM_SHUFFLE(0, 1, 2, 3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[i + k] + (h - 4 - j)), reversed);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[w - 1 - i - k] + j), c[k]);
        }
    }
}
#else
inline void placeBlock(const Rows& src, const MutableRows& dst, int i, int j, int w, int h,
                       bool clockwise) {
    for (int dj = 0; dj < 4; ++dj) {
        for (int di = 0; di < 4; ++di) {
            placeOne(src, dst, i + di, j + dj, w, h, clockwise);
        }
    }
}
#endif

}  // namespace

Image rotated90(const Image& image, bool clockwise) {
    if (image.isNull()) {
        return {};
    }
    const int w = image.width();
    const int h = image.height();
    QImage out = ImageServices::createSurface(h, w, ImageServices::Fill::None);
    if (out.isNull()) {
        return {};
    }
    const QImage source = image.qimage();  // one surface with a fixed row distance
    const Rows src{source.constBits(), source.bytesPerLine()};
    const MutableRows dst{out.bits(), out.bytesPerLine()};
    const int w4 = w & ~3;
    const int h4 = h & ~3;
    for (int j0 = 0; j0 < h4; j0 += kTile) {
        const int j1 = std::min(j0 + kTile, h4);
        for (int i0 = 0; i0 < w4; i0 += kTile) {
            const int i1 = std::min(i0 + kTile, w4);
            for (int j = j0; j < j1; j += 4) {
                for (int i = i0; i < i1; i += 4) {
                    placeBlock(src, dst, i, j, w, h, clockwise);
                }
            }
        }
    }
    // The right and bottom strips that do not fill a whole block.
    for (int j = 0; j < h; ++j) {
        for (int i = w4; i < w; ++i) {
            placeOne(src, dst, i, j, w, h, clockwise);
        }
    }
    for (int j = h4; j < h; ++j) {
        for (int i = 0; i < w4; ++i) {
            placeOne(src, dst, i, j, w, h, clockwise);
        }
    }
    return ImageServices::imageFromSurface(std::move(out));
}

Image flipped(const Image& image, bool horizontal) {
    if (image.isNull()) {
        return {};
    }
    const int w = image.width();
    const int h = image.height();
    QImage out = ImageServices::createSurface(w, h, ImageServices::Fill::None);
    if (out.isNull()) {
        return {};
    }
    const QImage source = image.qimage();  // one surface with a fixed row distance
    const Rows src{source.constBits(), source.bytesPerLine()};
    const MutableRows dst{out.bits(), out.bytesPerLine()};
    for (int j = 0; j < h; ++j) {
        if (horizontal) {
            std::reverse_copy(src[j], src[j] + w, dst[j]);
        } else {
            std::memcpy(dst[h - 1 - j], src[j], static_cast<size_t>(w) * 4);
        }
    }
    return ImageServices::imageFromSurface(std::move(out));
}

}  // namespace mirelo::ImageTransforms
