#include "image/ImageTransforms.h"

#include "image/ImageServices.h"

#include <algorithm>
#include <cstring>

namespace mirelo::ImageTransforms {

namespace {

// Pixels are copied as whole 32-bit words; a quarter turn walks the source in
// square tiles so that both the reads and the scattered writes stay in cache.
constexpr int kTile = 32;

inline const uint32_t* row(const Image& image, int y) {
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y));
}

inline uint32_t* row(QImage& surface, int y) {
    return reinterpret_cast<uint32_t*>(surface.scanLine(y));
}

}  // namespace

Image rotated90(const Image& image, bool clockwise) {
    if (image.isNull()) {
        return {};
    }
    const int w = image.width();
    const int h = image.height();
    QImage out = ImageServices::createSurface(h, w);
    if (out.isNull()) {
        return {};
    }
    for (int j0 = 0; j0 < h; j0 += kTile) {
        const int j1 = std::min(j0 + kTile, h);
        for (int i0 = 0; i0 < w; i0 += kTile) {
            const int i1 = std::min(i0 + kTile, w);
            for (int i = i0; i < i1; ++i) {
                // Destination row for source column i: i (clockwise) or W-1-i.
                uint32_t* dst = row(out, clockwise ? i : w - 1 - i);
                for (int j = j0; j < j1; ++j) {
                    const uint32_t px = row(image, j)[i];
                    dst[clockwise ? h - 1 - j : j] = px;
                }
            }
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
    QImage out = ImageServices::createSurface(w, h);
    if (out.isNull()) {
        return {};
    }
    for (int j = 0; j < h; ++j) {
        if (horizontal) {
            const uint32_t* src = row(image, j);
            uint32_t* dst = row(out, j);
            std::reverse_copy(src, src + w, dst);
        } else {
            std::memcpy(row(out, h - 1 - j), row(image, j), static_cast<size_t>(w) * 4);
        }
    }
    return ImageServices::imageFromSurface(std::move(out));
}

}  // namespace mirelo::ImageTransforms
