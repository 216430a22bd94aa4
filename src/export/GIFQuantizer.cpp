#include "export/GIFQuantizer.h"

#include "image/ImageServices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace mirelo::GIFQuantizer {

namespace {

// One premultiplied pixel blended over opaque white: c + (255 - a) per channel.
inline RGB overWhite(const uchar* p) {
    const int clear = 255 - p[3];
    return {static_cast<uint8_t>(std::min(255, p[0] + clear)),
            static_cast<uint8_t>(std::min(255, p[1] + clear)),
            static_cast<uint8_t>(std::min(255, p[2] + clear))};
}

// Appends the sampled colours of one frame: pixel 0, step, 2 x step, ...
void samplePixels(const Image& image, int budget, std::vector<RGB>& samples) {
    const int width = image.width();
    const qint64 n = qint64(width) * image.height();
    const qint64 step = budget > n ? 1 : n / budget;
    for (qint64 i = 0; i < n; i += step) {
        const int y = static_cast<int>(i / width);
        const int x = static_cast<int>(i % width);
        samples.push_back(overWhite(image.constScanLine(y) + size_t(x) * 4));
    }
}

inline int channel(const RGB& c, int ch) {
    return ch == 0 ? c.r : ch == 1 ? c.g : c.b;
}

// A box of the median cut: a run of the sample array. Its widest channel is
// computed once, when the box is made.
struct Box {
    size_t begin = 0;
    size_t end = 0;
    int channel = 0;
    int range = 0;
};

Box makeBox(const std::vector<RGB>& samples, size_t begin, size_t end) {
    Box box{begin, end, 0, 0};
    if (end - begin > 1) {
        const auto [ch, range] = widestChannel(samples.data() + begin, end - begin);
        box.channel = ch;
        box.range = range;
    }
    return box;
}

// Stable ascending sort of samples[begin, end) by one channel (counting sort).
void stableSortByChannel(std::vector<RGB>& samples, size_t begin, size_t end, int ch,
                         std::vector<RGB>& scratch) {
    std::array<size_t, 257> start{};
    for (size_t i = begin; i < end; ++i) {
        ++start[size_t(channel(samples[i], ch)) + 1];
    }
    for (size_t v = 1; v < start.size(); ++v) {
        start[v] += start[v - 1];
    }
    scratch.resize(end - begin);
    for (size_t i = begin; i < end; ++i) {
        scratch[start[size_t(channel(samples[i], ch))]++] = samples[i];
    }
    std::copy(scratch.begin(), scratch.end(), samples.begin() + std::ptrdiff_t(begin));
}

}  // namespace

std::vector<int> sampledFrameIndices(int frameCount) {
    std::vector<int> indices;
    if (frameCount <= 0) {
        return indices;
    }
    if (frameCount <= kMaxSampledFrames) {
        for (int i = 0; i < frameCount; ++i) {
            indices.push_back(i);
        }
        return indices;
    }
    const double step = double(frameCount - 1) / double(kMaxSampledFrames - 1);
    for (int k = 0; k < kMaxSampledFrames; ++k) {
        // std::round rounds halves away from zero.
        indices.push_back(std::clamp(static_cast<int>(std::round(step * k)), 0, frameCount - 1));
    }
    return indices;
}

std::vector<uint8_t> rgbaBytes(const Image& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return {};
    }
    const int width = image.width();
    const int height = image.height();
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        const uchar* src = image.constScanLine(y);
        uint8_t* dst = bytes.data() + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width * 4; x += 4) {
            const int clear = 255 - src[x + 3];
            dst[x] = static_cast<uint8_t>(std::min(255, src[x] + clear));
            dst[x + 1] = static_cast<uint8_t>(std::min(255, src[x + 1] + clear));
            dst[x + 2] = static_cast<uint8_t>(std::min(255, src[x + 2] + clear));
            dst[x + 3] = 255;
        }
    }
    return bytes;
}

std::pair<int, int> widestChannel(const RGB* box, size_t count) {
    int minR = 255, minG = 255, minB = 255;
    int maxR = 0, maxG = 0, maxB = 0;
    for (size_t i = 0; i < count; ++i) {
        minR = std::min<int>(minR, box[i].r);
        maxR = std::max<int>(maxR, box[i].r);
        minG = std::min<int>(minG, box[i].g);
        maxG = std::max<int>(maxG, box[i].g);
        minB = std::min<int>(minB, box[i].b);
        maxB = std::max<int>(maxB, box[i].b);
    }
    const int rangeR = maxR - minR, rangeG = maxG - minG, rangeB = maxB - minB;
    if (rangeR >= rangeG && rangeR >= rangeB) {
        return {0, rangeR};
    }
    if (rangeG >= rangeB) {
        return {1, rangeG};
    }
    return {2, rangeB};
}

Palette medianCut(std::vector<RGB> samples, int wanted) {
    if (samples.empty()) {
        return {RGB{0, 0, 0}, RGB{255, 255, 255}};
    }
    std::vector<Box> boxes{makeBox(samples, 0, samples.size())};
    std::vector<RGB> scratch;
    while (int(boxes.size()) < wanted) {
        // The box with the strictly largest range; the earliest wins ties and
        // a range of 0 never qualifies.
        int chosen = -1;
        int best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin > 1 && boxes[i].range > best) {
                best = boxes[i].range;
                chosen = int(i);
            }
        }
        if (chosen < 0) {
            break;
        }
        const Box box = boxes[size_t(chosen)];
        stableSortByChannel(samples, box.begin, box.end, box.channel, scratch);
        const size_t middle = box.begin + (box.end - box.begin) / 2;
        boxes[size_t(chosen)] = makeBox(samples, box.begin, middle);
        boxes.push_back(makeBox(samples, middle, box.end));
    }

    Palette palette;
    std::unordered_set<uint32_t> seen;
    for (const Box& box : boxes) {
        uint64_t r = 0, g = 0, b = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            r += samples[i].r;
            g += samples[i].g;
            b += samples[i].b;
        }
        const uint64_t n = box.end - box.begin;
        const RGB mean{uint8_t(r / n), uint8_t(g / n), uint8_t(b / n)};
        if (seen.insert(uint32_t(mean.r) << 16 | uint32_t(mean.g) << 8 | mean.b).second) {
            palette.push_back(mean);
        }
    }
    return palette;
}

Palette buildPalette(const std::vector<Image>& frames, int colors) {
    const int wanted = std::clamp(colors, 2, 256);
    const std::vector<int> taken = sampledFrameIndices(int(frames.size()));
    const int budget = kSampleBudget / std::max<int>(1, int(taken.size()));
    std::vector<RGB> samples;
    samples.reserve(100000);
    for (int index : taken) {
        const Image& frame = frames[size_t(index)];
        if (frame.isNull() || frame.width() <= 0 || frame.height() <= 0) {
            continue;
        }
        samplePixels(frame, budget, samples);
    }
    return medianCut(std::move(samples), wanted);
}

Lookup buildLookup(const Palette& palette) {
    Lookup lookup(kLookupSize, 0);
    const size_t n = std::min<size_t>(palette.size(), 256);
    if (n == 0) {
        return lookup;
    }
    // Channels apart so the distance loop vectorises.
    std::array<int32_t, 256> pr{}, pg{}, pb{};
    for (size_t i = 0; i < n; ++i) {
        pr[i] = palette[i].r;
        pg[i] = palette[i].g;
        pb[i] = palette[i].b;
    }
    std::array<int32_t, 256> dist{};
    for (int slot = 0; slot < kLookupSize; ++slot) {
        const int32_t r = ((slot >> 10) & 31) * 8 + 4;
        const int32_t g = ((slot >> 5) & 31) * 8 + 4;
        const int32_t b = (slot & 31) * 8 + 4;
        for (size_t i = 0; i < n; ++i) {
            const int32_t dr = r - pr[i], dg = g - pg[i], db = b - pb[i];
            dist[i] = dr * dr + dg * dg + db * db;
        }
        int32_t best = dist[0];
        size_t bestIndex = 0;
        for (size_t i = 1; i < n; ++i) {
            if (dist[i] < best) {
                best = dist[i];
                bestIndex = i;
            }
        }
        lookup[size_t(slot)] = static_cast<uint8_t>(bestIndex);
    }
    return lookup;
}

namespace {

// Rounds half away from zero and clamps to 0..255. Clamping first gives the
// same result (the bounds are integers); the sum is then non-negative, and
// adding 0.5 in double arithmetic is exact for every float.
inline int roundClamp(float v) {
    const float c = std::clamp(v, 0.0f, 255.0f);
    return static_cast<int>(static_cast<double>(c) + 0.5);
}

}  // namespace

std::optional<IndexedFrame> quantizeToIndices(const Image& image, const Palette& palette,
                                              const Lookup& lookup, float dither,
                                              const CancelFlag* cancel) {
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

    // NaN counts as no dither.
    const float s = dither > 0.0f ? std::min(dither, 1.0f) : 0.0f;
    std::array<float, 256 * 3> pal{};
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        pal[i * 3] = palette[i].r;
        pal[i * 3 + 1] = palette[i].g;
        pal[i * 3 + 2] = palette[i].b;
    }
    const uint8_t* table = lookup.data();

    if (s == 0.0f) {
        for (int y = 0; y < height; ++y) {
            if (y % 16 == 0 && cancel && cancel->isCancelled()) {
                return std::nullopt;
            }
            const uchar* src = image.constScanLine(y);
            uint8_t* dst = out.indices.data() + size_t(y) * size_t(width);
            for (int x = 0; x < width; ++x) {
                const RGB c = overWhite(src + size_t(x) * 4);
                dst[x] = table[lookupSlot(c.r, c.g, c.b)];
            }
        }
        return out;
    }

    // Error rows: pixel x's three components at 3(x + 1); pixel -1 and pixel
    // width are spare slots so diffusion needs no edge tests.
    const size_t rowFloats = (size_t(width) + 2) * 3;
    std::vector<float> bufA(rowFloats, 0.0f), bufB(rowFloats, 0.0f);
    float* cur = bufA.data();
    float* next = bufB.data();
    for (int y = 0; y < height; ++y) {
        if (y % 16 == 0 && cancel && cancel->isCancelled()) {
            return std::nullopt;
        }
        const uchar* src = image.constScanLine(y);
        uint8_t* dst = out.indices.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const RGB c = overWhite(src + size_t(x) * 4);
            float* e = cur + size_t(x + 1) * 3;
            const int vr = roundClamp(float(c.r) + e[0]);
            const int vg = roundClamp(float(c.g) + e[1]);
            const int vb = roundClamp(float(c.b) + e[2]);
            const uint8_t index = table[lookupSlot(vr, vg, vb)];
            dst[x] = index;
            const float* p = pal.data() + size_t(index) * 3;
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
    return out;
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
                              float dither, const CancelFlag* cancel) {
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
