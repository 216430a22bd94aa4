#include "export/GIFQuantizer.h"

#include "export/GifPixelBlend.h"
#include "image/ImageServices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelo::GIFQuantizer {

namespace {

// Rounds half away from zero and clamps to 0..255. Clamping first gives the
// same result (the bounds are integers); the sum is then non-negative, and
// adding 0.5 in double arithmetic is exact for every float.
inline int roundClamp(float v) {
    const float c = std::clamp(v, 0.0f, 255.0f);
    // c minus its integer part is exact for 0 <= c <= 255.
    const int t = static_cast<int>(c);
    return t + (c - static_cast<float>(t) >= 0.5f ? 1 : 0);
}

// Below this an error added to a byte value, in float arithmetic, always
// rounds back to that value (floats near 255 are 2^-16 apart).
constexpr float kRoundsAway = 0.4999f;

// The pixels [first, end) of a row; empty when end <= first.
struct Span {
    int first = 0;
    int end = 0;
    bool isEmpty() const { return end <= first; }
};

// Marks in `still` the pixels of `row` that equal those of `previousRow`
// and returns the span holding every other pixel. Without a previous row
// nothing is marked and the span is the whole row.
Span markStill(const uchar* row, const uchar* previousRow, int width, uint8_t* still) {
    if (previousRow == nullptr) {
        return {0, width};
    }
    // Rows that recordings share between frames are the same memory.
    if (row == previousRow || std::memcmp(row, previousRow, size_t(width) * 4) == 0) {
        std::memset(still, 1, size_t(width));
        return {};
    }
    for (int x = 0; x < width; ++x) {
        uint32_t a, b;
        std::memcpy(&a, row + size_t(x) * 4, 4);
        std::memcpy(&b, previousRow + size_t(x) * 4, 4);
        still[x] = a == b ? 1 : 0;
    }
    Span span{0, width};
    while (still[span.first]) {  // some pixel differs, so this stops
        ++span.first;
    }
    while (still[span.end - 1]) {
        --span.end;
    }
    return span;
}

// Where the still marks of each row go: into the frame's marks when there is
// a previous frame, else a row of zeros that is never written.
class StillRows {
public:
    StillRows(const Image& image, const Image* previous, uint8_t* marks)
        : m_image(image), m_previous(previous), m_marks(marks), m_width(image.width()) {
        if (!m_previous) {
            m_zeros.assign(size_t(m_width), 0);
        }
    }
    uint8_t* row(int y) {
        return m_previous ? m_marks + size_t(y) * size_t(m_width) : m_zeros.data();
    }
    // Marks row y and returns the span of its changed pixels.
    Span mark(int y) {
        return markStill(m_image.constScanLine(y),
                         m_previous ? m_previous->constScanLine(y) : nullptr, m_width, row(y));
    }

private:
    const Image& m_image;
    const Image* m_previous;
    uint8_t* m_marks;
    const int m_width;
    std::vector<uint8_t> m_zeros;
};

using PaletteFloats = std::array<float, 256 * 4>;
using PalettePacked = std::array<uint32_t, 256>;

// Floyd-Steinberg diffusion of one frame into `indices`, left to right, top
// to bottom. False when cancelled.
// Still pixels (see StillRows) are left out: they neither take nor pass on
// error. False when cancelled.
bool diffuseScalar(const Image& image, StillRows& still, const PaletteFloats& pal,
                   const PalettePacked& packed, const uint8_t* table, float s,
                   const CancelFlag* cancel, uint8_t* indices) {
    const int width = image.width();
    const int height = image.height();
    // Error rows: pixel x's three components at 3(x + 1); pixel -1 and pixel
    // width are spare slots so diffusion needs no edge tests.
    const size_t rowFloats = (size_t(width) + 2) * 3;
    std::vector<float> bufA(rowFloats, 0.0f), bufB(rowFloats, 0.0f);
    float* cur = bufA.data();
    float* next = bufB.data();
    for (int y = 0; y < height; ++y) {
        if (y % 16 == 0 && cancel && cancel->isCancelled()) {
            return false;
        }
        const uchar* src = image.constScanLine(y);
        uint8_t* dst = indices + size_t(y) * size_t(width);
        const Span span = still.mark(y);
        const uint8_t* stillRow = still.row(y);
        for (int x = span.first; x < span.end; ++x) {
            if (stillRow[x]) {
                continue;
            }
            const RGB c = overWhite(src + size_t(x) * 4);
            float* e = cur + size_t(x + 1) * 3;
            int vr, vg, vb;
            if (std::fabs(e[0]) < kRoundsAway && std::fabs(e[1]) < kRoundsAway &&
                std::fabs(e[2]) < kRoundsAway) {
                // The error rounds away: v is the source colour. When that is
                // a palette colour there is no error to spread either, which
                // is the common case in flat areas of screen content.
                vr = c.r;
                vg = c.g;
                vb = c.b;
                const uint8_t index = table[lookupSlot(vr, vg, vb)];
                dst[x] = index;
                if (packed[index] == (uint32_t(vr) << 16 | uint32_t(vg) << 8 | uint32_t(vb))) {
                    continue;
                }
            } else {
                vr = roundClamp(float(c.r) + e[0]);
                vg = roundClamp(float(c.g) + e[1]);
                vb = roundClamp(float(c.b) + e[2]);
            }
            const uint8_t index = table[lookupSlot(vr, vg, vb)];
            dst[x] = index;
            const float* p = pal.data() + size_t(index) * 4;
            const float er = s * (float(vr) - p[0]);
            const float eg = s * (float(vg) - p[1]);
            const float eb = s * (float(vb) - p[2]);
            if (x + 1 < width) {
                e[3] += (er * 7.0f) * 0.0625f;
                e[4] += (eg * 7.0f) * 0.0625f;
                e[5] += (eb * 7.0f) * 0.0625f;
            }
            float* n = next + size_t(x) * 3;  // pixel x - 1 of the next row
            n[0] += (er * 3.0f) * 0.0625f;
            n[1] += (eg * 3.0f) * 0.0625f;
            n[2] += (eb * 3.0f) * 0.0625f;
            n[3] += (er * 5.0f) * 0.0625f;
            n[4] += (eg * 5.0f) * 0.0625f;
            n[5] += (eb * 5.0f) * 0.0625f;
            n[6] += (er * 1.0f) * 0.0625f;
            n[7] += (eg * 1.0f) * 0.0625f;
            n[8] += (eb * 1.0f) * 0.0625f;
        }
        std::fill(cur, cur + rowFloats, 0.0f);
        std::swap(cur, next);
    }
    return true;
}

#if defined(__SSE2__)
// The same arithmetic with the three channels of a pixel in one SSE register:
// every lane does exactly the float operations of the scalar version, in the
// same order, so the results are identical. Error rows hold 4 floats per
// pixel (the fourth stays 0).
class SSEDiffuser {
public:
    SSEDiffuser(const PaletteFloats& pal, const PalettePacked& packed, const uint8_t* table,
                float s)
        : m_pal(pal), m_packed(packed), m_table(table), m_strength(_mm_set1_ps(s)) {}

    // One pixel: `c` its source colour, `e` its slot in the current error row
    // (e + 4 is the pixel to the right), `n` the slot of pixel x - 1 in the
    // next error row.
    inline uint8_t step(const float* c, float* e, float* n, bool hasRight) const {
        const __m128 err = _mm_load_ps(e);
        const __m128 colour = _mm_load_ps(c);
        __m128 v;
        __m128i vi;
        if ((_mm_movemask_ps(_mm_cmplt_ps(_mm_and_ps(err, m_absMask), m_roundsAway)) & 7) == 7) {
            v = colour;
            vi = _mm_cvttps_epi32(colour);
        } else {
            const __m128 sum = _mm_min_ps(_mm_max_ps(_mm_add_ps(colour, err), m_zero), m_top);
            const __m128i t = _mm_cvttps_epi32(sum);
            const __m128 up = _mm_cmpge_ps(_mm_sub_ps(sum, _mm_cvtepi32_ps(t)), m_half);
            vi = _mm_sub_epi32(t, _mm_castps_si128(up));
            v = _mm_cvtepi32_ps(vi);
        }
        const int vr = _mm_cvtsi128_si32(vi);
        const int vg = _mm_extract_epi16(vi, 2);
        const int vb = _mm_extract_epi16(vi, 4);
        const uint8_t index = m_table[lookupSlot(vr, vg, vb)];
        if (m_packed[index] == (uint32_t(vr) << 16 | uint32_t(vg) << 8 | uint32_t(vb))) {
            return index;  // no error to spread
        }
        const __m128 d =
            _mm_mul_ps(m_strength, _mm_sub_ps(v, _mm_loadu_ps(m_pal.data() + size_t(index) * 4)));
        if (hasRight) {
            _mm_store_ps(e + 4, _mm_add_ps(_mm_load_ps(e + 4), share(d, m_w7)));
        }
        _mm_store_ps(n, _mm_add_ps(_mm_load_ps(n), share(d, m_w3)));
        _mm_store_ps(n + 4, _mm_add_ps(_mm_load_ps(n + 4), share(d, m_w5)));
        _mm_store_ps(n + 8, _mm_add_ps(_mm_load_ps(n + 8), share(d, m_w1)));
        return index;
    }

private:
    inline __m128 share(__m128 d, __m128 weight) const {
        return _mm_mul_ps(_mm_mul_ps(d, weight), m_sixteenth);
    }

    const PaletteFloats& m_pal;
    const PalettePacked& m_packed;
    const uint8_t* m_table;
    const __m128 m_strength;
    const __m128 m_w7 = _mm_set1_ps(7.0f), m_w5 = _mm_set1_ps(5.0f), m_w3 = _mm_set1_ps(3.0f);
    const __m128 m_w1 = _mm_set1_ps(1.0f), m_sixteenth = _mm_set1_ps(0.0625f);
    const __m128 m_zero = _mm_setzero_ps(), m_top = _mm_set1_ps(255.0f);
    const __m128 m_half = _mm_set1_ps(0.5f), m_roundsAway = _mm_set1_ps(kRoundsAway);
    const __m128 m_absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
};

// The colours of pixels span.first .. span.end - 1 of row y over white as
// floats, 4 per pixel (the fourth 0).
void sourceRow(const Image& image, int y, Span span, float* out) {
    const uchar* src = image.constScanLine(y);
    const int width = span.end;
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaque = _mm_set1_epi32(255);
    const __m128i rgbOnly = _mm_set_epi32(0, -1, -1, -1);
    int x = span.first;
    for (; x + 4 <= width; x += 4) {
        const __m128i bytes =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + size_t(x) * 4));
        const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
        const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
        const __m128i pixels[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                   _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        for (int k = 0; k < 4; ++k) {
            // Premultiplied over white: c + (255 - a).
            const __m128i clear = _mm_sub_epi32(opaque, _mm_shuffle_epi32(pixels[k], 0xff));
            const __m128i blended = _mm_and_si128(_mm_add_epi32(pixels[k], clear), rgbOnly);
            _mm_store_ps(out + size_t(x + k) * 4, _mm_cvtepi32_ps(blended));
        }
    }
    for (; x < width; ++x) {
        const RGB c = overWhite(src + size_t(x) * 4);
        out[size_t(x) * 4] = c.r;
        out[size_t(x) * 4 + 1] = c.g;
        out[size_t(x) * 4 + 2] = c.b;
    }
}

// Rows are done in pairs, the second row two pixels behind the first: pixel
// (x, y + 1) only needs what pixels x - 1 .. x + 1 of row y sent down, so the
// two dependency chains run side by side. Every error slot still receives its
// shares in the same order as row by row. Still pixels are skipped, and so
// are the stretches of a row pair where nothing changed.
bool diffuseSSE(const Image& image, StillRows& still, const PaletteFloats& pal,
                const PalettePacked& packed, const uint8_t* table, float s,
                const CancelFlag* cancel, uint8_t* indices) {
    const int width = image.width();
    const int height = image.height();
    const size_t rowFloats = (size_t(width) + 2) * 4;
    std::vector<float> bufA(rowFloats, 0.0f), bufB(rowFloats, 0.0f), bufC(rowFloats, 0.0f);
    std::vector<float> source0(size_t(width) * 4, 0.0f), source1(size_t(width) * 4, 0.0f);
    float* row0 = bufA.data();  // errors for row y
    float* row1 = bufB.data();  // errors for row y + 1
    float* row2 = bufC.data();  // errors for row y + 2
    bool dirty0 = false;        // whether row0 may hold errors (row1 and row2 start clean)
    const SSEDiffuser diffuser(pal, packed, table, s);
    for (int y = 0; y < height; y += 2) {
        if (y % 16 == 0 && cancel && cancel->isCancelled()) {
            return false;
        }
        const Span span0 = still.mark(y);
        const uint8_t* still0 = still.row(y);
        sourceRow(image, y, span0, source0.data());
        uint8_t* dst0 = indices + size_t(y) * size_t(width);
        if (y + 1 == height) {
            for (int x = span0.first; x < span0.end; ++x) {
                if (!still0[x]) {
                    dst0[x] =
                        diffuser.step(source0.data() + size_t(x) * 4, row0 + size_t(x + 1) * 4,
                                      row1 + size_t(x) * 4, x + 1 < width);
                }
            }
            break;
        }
        const Span span1 = still.mark(y + 1);
        const uint8_t* still1 = still.row(y + 1);
        sourceRow(image, y + 1, span1, source1.data());
        uint8_t* dst1 = dst0 + width;
        int from = width + 2, to = 0;
        if (!span0.isEmpty()) {
            from = span0.first;
            to = span0.end;
        }
        if (!span1.isEmpty()) {
            from = std::min(from, span1.first + 2);
            to = std::max(to, span1.end + 2);
        }
        for (int x = from; x < to; ++x) {
            if (x >= span0.first && x < span0.end && !still0[x]) {
                dst0[x] = diffuser.step(source0.data() + size_t(x) * 4, row0 + size_t(x + 1) * 4,
                                        row1 + size_t(x) * 4, x + 1 < width);
            }
            const int x1 = x - 2;
            if (x1 >= span1.first && x1 < span1.end && !still1[x1]) {
                dst1[x1] = diffuser.step(source1.data() + size_t(x1) * 4, row1 + size_t(x1 + 1) * 4,
                                         row2 + size_t(x1) * 4, x1 + 1 < width);
            }
        }
        if (dirty0 || !span0.isEmpty()) {
            std::fill(row0, row0 + rowFloats, 0.0f);
        }
        if (!span0.isEmpty() || !span1.isEmpty()) {
            std::fill(row1, row1 + rowFloats, 0.0f);
        }
        dirty0 = !span1.isEmpty();  // row2 becomes row0
        float* done0 = row0;
        row0 = row2;
        row2 = row1;
        row1 = done0;
    }
    return true;
}
#endif

bool diffuse(const Image& image, StillRows& still, const PaletteFloats& pal,
             const PalettePacked& packed, const uint8_t* table, float s, const CancelFlag* cancel,
             uint8_t* indices, [[maybe_unused]] detail::DiffusionPath path) {
#if defined(__SSE2__)
    if (path == detail::DiffusionPath::best) {
        return diffuseSSE(image, still, pal, packed, table, s, cancel, indices);
    }
#endif
    return diffuseScalar(image, still, pal, packed, table, s, cancel, indices);
}

}  // namespace

std::optional<IndexedFrame> quantizeToIndices(const Image& image, const Palette& palette,
                                              const Lookup& lookup, float dither,
                                              const CancelFlag& cancel, const Image* previous) {
    return detail::quantizeToIndices(image, palette, lookup, dither, detail::DiffusionPath::best,
                                     cancel, previous);
}

std::optional<IndexedFrame> detail::quantizeToIndices(const Image& image, const Palette& palette,
                                                      const Lookup& lookup, float dither,
                                                      DiffusionPath path, const CancelFlag& cancel,
                                                      const Image* previous) {
    IndexedFrame out;
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || palette.empty() ||
        lookup.size() != size_t(kLookupSize)) {
        return out;
    }
    const int width = image.width();
    const int height = image.height();
    out.width = width;
    out.height = height;
    out.indices.resize(size_t(width) * size_t(height));
    if (previous && (previous->isNull() || previous->size() != image.size())) {
        previous = nullptr;  // another size: everything counts as changed
    }
    if (previous) {
        out.still.resize(out.indices.size());
    }
    StillRows still(image, previous, out.still.data());

    // NaN counts as no dither.
    const float s = dither > 0.0f ? std::min(dither, 1.0f) : 0.0f;
    PaletteFloats pal{};
    PalettePacked packed{};
    packed.fill(0xffffffffu);  // matches no colour
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        packed[i] = uint32_t(palette[i].r) << 16 | uint32_t(palette[i].g) << 8 | palette[i].b;
        pal[i * 4] = palette[i].r;
        pal[i * 4 + 1] = palette[i].g;
        pal[i * 4 + 2] = palette[i].b;
    }
    const uint8_t* table = lookup.data();

    if (s == 0.0f) {
        for (int y = 0; y < height; ++y) {
            if (y % 16 == 0 && cancel.isCancelled()) {
                return std::nullopt;
            }
            const uchar* src = image.constScanLine(y);
            uint8_t* dst = out.indices.data() + size_t(y) * size_t(width);
            const Span span = still.mark(y);
            for (int x = span.first; x < span.end; ++x) {
                const RGB c = overWhite(src + size_t(x) * 4);
                dst[x] = table[lookupSlot(c.r, c.g, c.b)];
            }
        }
        return out;
    }

    if (!diffuse(image, still, pal, packed, table, s, &cancel, out.indices.data(), path)) {
        return std::nullopt;
    }
    return out;
}

void keepStill(IndexedFrame& frame, const uint8_t* previousIndices) {
    if (frame.still.size() != frame.indices.size()) {
        frame.still.clear();
        return;
    }
    uint8_t* indices = frame.indices.data();
    const uint8_t* still = frame.still.data();
    for (size_t i = 0; i < frame.indices.size(); ++i) {
        indices[i] = still[i] ? previousIndices[i] : indices[i];
    }
    frame.still.clear();
}

Image imageFromIndices(const IndexedFrame& frame, const Palette& palette) {
    if (frame.isEmpty()) {
        return {};
    }
    QImage surface = ImageServices::createSurface(frame.width, frame.height);
    if (surface.isNull()) {
        return {};
    }
    for (int y = 0; y < frame.height; ++y) {
        uchar* dst = surface.scanLine(y);
        const uint8_t* src = frame.indices.data() + size_t(y) * size_t(frame.width);
        for (int x = 0; x < frame.width; ++x) {
            const RGB c = src[x] < palette.size() ? palette[src[x]] : RGB{};
            dst[x * 4] = c.r;
            dst[x * 4 + 1] = c.g;
            dst[x * 4 + 2] = c.b;
            dst[x * 4 + 3] = 255;
        }
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

std::optional<Image> quantize(const Image& image, const Palette& palette, const Lookup& lookup,
                              float dither, const CancelFlag& cancel) {
    std::optional<IndexedFrame> indexed = quantizeToIndices(image, palette, lookup, dither, cancel);
    if (!indexed) {
        return std::nullopt;
    }
    if (indexed->isEmpty()) {
        return image;
    }
    Image result = imageFromIndices(*indexed, palette);
    return result.isNull() ? image : result;
}

}  // namespace mirelo::GIFQuantizer
