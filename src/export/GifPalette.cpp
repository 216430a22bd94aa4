// The palette of a GIF: colours sampled over the animation, cut into boxes
// of about equal share, and the table that maps a colour to its nearest.
#include "export/GIFQuantizer.h"

#include "export/GifPixelBlend.h"
#include "image/ImageServices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace mirelo::GIFQuantizer {

namespace {

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
    return buildPalette(
        frames.size(), [&frames](size_t index) { return frames[index]; }, colors);
}

Palette buildPalette(size_t frameCount, const std::function<Image(size_t index)>& frameAt,
                     int colors) {
    const int wanted = std::clamp(colors, 2, 256);
    const std::vector<int> taken = sampledFrameIndices(int(frameCount));
    const int budget = kSampleBudget / std::max<int>(1, int(taken.size()));
    std::vector<RGB> samples;
    samples.reserve(100000);
    for (int index : taken) {
        const Image frame = frameAt(size_t(index));
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

}  // namespace mirelo::GIFQuantizer
