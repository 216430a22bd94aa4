// Pixel work of the overlays that the painter does not do well: the mosaic's pixellation
// and blending, and the soft shadow under text (a blurred glyph mask, darkened onto the frame).
#include "overlay/PixelEffects.h"

#include "image/ImageServices.h"
#include "overlay/OverlayRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mirelo::pixeleffects {

namespace {

bool finite(const QRectF& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) &&
           std::isfinite(r.height());
}

}  // namespace

// --- Mosaic --------------------------------------------------------------------

namespace {

// Where the cells start along one axis of R: every pixel belongs to the cell
// that holds its centre, on a grid with a corner at `centre`. Gives the first
// pixel of each cell (relative to R) followed by R's length.
std::vector<int> cellEdges(int first, int length, double centre, double cell) {
    std::vector<int> edges{0};
    auto index = [&](int i) { return std::floor((first + i + 0.5 - centre) / cell); };
    double current = index(0);
    for (int i = 1; i < length; ++i) {
        const double k = index(i);
        if (k != current) {
            edges.push_back(i);
            current = k;
        }
    }
    edges.push_back(length);
    return edges;
}

}  // namespace

// The pixellated patch of `rect` over `source` (see MosaicPixelator::pixelate).
// Reads the source in place, so the renderer can pass the surface it is still
// drawing on without taking a copy of it first.
QImage pixelateRegion(const QImage& source, const QRectF& rect, double blockSize) {
    if (source.isNull() || source.format() != kStandardFormat || !finite(rect)) {
        return {};
    }
    const QRect r = ImageServices::integralRect(rect).intersected(source.rect());
    if (r.width() < 2 || r.height() < 2) {
        return {};
    }
    const double cell = MosaicPixelator::cellSize(blockSize);
    const std::vector<int> xs = cellEdges(r.left(), r.width(), r.x() + r.width() / 2.0, cell);
    const std::vector<int> ys = cellEdges(r.top(), r.height(), r.y() + r.height() / 2.0, cell);
    QImage patch = ImageServices::createSurface(r.width(), r.height(), ImageServices::Fill::None);
    if (patch.isNull()) {
        return {};
    }
    const size_t columns = xs.size() - 1;
    std::vector<uint64_t> sums(columns * 4);
    std::vector<uint32_t> colours(columns);
    for (size_t band = 0; band + 1 < ys.size(); ++band) {
        // The mean of the premultiplied bytes of each cell's pixels.
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = ys[band]; y < ys[band + 1]; ++y) {
            const uchar* line = source.constScanLine(r.top() + y) + size_t(r.left()) * 4;
            for (size_t c = 0; c < columns; ++c) {
                uint64_t r0 = 0, g0 = 0, b0 = 0, a0 = 0;
                for (int x = xs[c]; x < xs[c + 1]; ++x) {
                    r0 += line[x * 4 + 0];
                    g0 += line[x * 4 + 1];
                    b0 += line[x * 4 + 2];
                    a0 += line[x * 4 + 3];
                }
                sums[c * 4 + 0] += r0;
                sums[c * 4 + 1] += g0;
                sums[c * 4 + 2] += b0;
                sums[c * 4 + 3] += a0;
            }
        }
        const uint64_t rows = uint64_t(ys[band + 1] - ys[band]);
        for (size_t c = 0; c < columns; ++c) {
            const uint64_t n = rows * uint64_t(xs[c + 1] - xs[c]);
            uchar bytes[4];
            for (size_t k = 0; k < 4; ++k) {
                bytes[k] = uchar((sums[c * 4 + k] + n / 2) / n);
            }
            std::memcpy(&colours[c], bytes, 4);
        }
        for (int y = ys[band]; y < ys[band + 1]; ++y) {
            auto* out = reinterpret_cast<uint32_t*>(patch.scanLine(y));
            for (size_t c = 0; c < columns; ++c) {
                std::fill(out + xs[c], out + xs[c + 1], colours[c]);
            }
        }
    }
    return patch;
}

// Draws a premultiplied patch over `surface` at `at`, source over, one to one.
// (The painter would convert both images to its own working format and back.)
void blendOver(QImage& surface, const QImage& patch, QPoint at) {
    const QRect area = QRect(at, patch.size()).intersected(surface.rect());
    for (int y = area.top(); y < area.bottom() + 1; ++y) {
        uchar* d = surface.scanLine(y) + size_t(area.left()) * 4;
        const uchar* p = patch.constScanLine(y - at.y()) + size_t(area.left() - at.x()) * 4;
        for (int x = 0; x < area.width(); ++x, d += 4, p += 4) {
            const unsigned keep = 255u - p[3];
            if (keep == 0) {
                std::memcpy(d, p, 4);
            } else {
                for (int k = 0; k < 4; ++k) {
                    d[k] = uchar(p[k] + (d[k] * keep + 127) / 255);
                }
            }
        }
    }
}

// --- Text shadow -------------------------------------------------------------

namespace {

// One pass of a box blur of radius `radius` over rows of `alpha` (stride
// `width`), treating everything outside as transparent.
void boxBlurRows(std::vector<uint8_t>& alpha, int width, int height, int radius) {
    std::vector<uint8_t> line(static_cast<size_t>(width));
    const uint32_t span = uint32_t(2 * radius + 1);
    // sum / span in fixed point: sums stay below 2^8 * span, so the product
    // stays below 2^41.
    const uint64_t inverse = ((uint64_t(1) << 32) + span - 1) / span;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &alpha[size_t(y) * size_t(width)];
        // Window [x - radius, x + radius], clipped to the row.
        auto at = [&](int x) { return x >= 0 && x < width ? uint32_t(row[x]) : 0u; };
        uint32_t sum = 0;
        for (int x = -radius - 1; x < radius; ++x) {
            sum += at(x);
        }
        const int safeEnd = width - radius;
        int x = 0;
        for (; x < std::min(radius + 1, width); ++x) {
            sum += at(x + radius);
            sum -= at(x - radius - 1);
            line[size_t(x)] = uint8_t(((sum + span / 2) * inverse) >> 32);
        }
        for (; x < safeEnd; ++x) {
            sum += row[x + radius];
            sum -= row[x - radius - 1];
            line[size_t(x)] = uint8_t(((sum + span / 2) * inverse) >> 32);
        }
        for (; x < width; ++x) {
            sum += at(x + radius);
            sum -= at(x - radius - 1);
            line[size_t(x)] = uint8_t(((sum + span / 2) * inverse) >> 32);
        }
        std::memcpy(row, line.data(), size_t(width));
    }
}

void transpose(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int width, int height) {
    out.resize(in.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out[size_t(x) * size_t(height) + size_t(y)] = in[size_t(y) * size_t(width) + size_t(x)];
        }
    }
}

}  // namespace

// Three box passes per axis approximate a Gaussian of standard deviation
// `sigma` (each pass of radius k adds k(k + 1) / 3 to the variance).
void gaussianBlur(std::vector<uint8_t>& alpha, int width, int height, double sigma) {
    const int radius = std::max(1, int(std::lround(std::sqrt(sigma * sigma + 0.25) - 0.5)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurRows(alpha, width, height, radius);
    }
    std::vector<uint8_t> turned;
    transpose(alpha, turned, width, height);
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurRows(turned, height, width, radius);
    }
    transpose(turned, alpha, height, width);
}

// Black at the given coverage a, source over: the colour bytes are scaled by
// 1 - a, and alpha becomes a + alpha (1 - a), so an opaque frame stays opaque.
void darken(QImage& surface, const std::vector<uint8_t>& coverage, const QRect& area) {
    const QRect clipped = area.intersected(surface.rect());
    for (int y = clipped.top(); y < clipped.bottom() + 1; ++y) {
        uchar* d = surface.scanLine(y) + size_t(clipped.left()) * 4;
        const uint8_t* a = &coverage[size_t(y - area.top()) * size_t(area.width()) +
                                     size_t(clipped.left() - area.left())];
        for (int x = 0; x < clipped.width(); ++x, d += 4) {
            const unsigned keep = 255u - a[x];
            if (keep != 255u) {
                for (int k = 0; k < 3; ++k) {
                    d[k] = uchar((d[k] * keep + 127) / 255);
                }
                d[3] = uchar(a[x] + (d[3] * keep + 127) / 255);
            }
        }
    }
}

}  // namespace mirelo::pixeleffects
