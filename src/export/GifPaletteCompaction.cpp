#include "export/GifPaletteCompaction.h"

#include "export/GifLzw.h"

#include <algorithm>
#include <bit>
#include <map>

namespace mirelo::gif {

std::optional<Compaction> compactPalette(const GIFQuantizer::Palette& palette,
                                         const std::array<uint64_t, 256>& counts,
                                         int tableEntries) {
    // Uses per distinct colour, and which old indices show it.
    std::map<uint32_t, uint64_t> uses;
    const auto keyOf = [](const GIFQuantizer::RGB& c) {
        return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    };
    for (size_t i = 0; i < palette.size(); ++i) {
        if (counts[i] > 0) {
            uses[keyOf(palette[i])] += counts[i];
        }
    }
    const int colours = int(uses.size());
    const int entries = int(std::bit_ceil(unsigned(std::max(4, colours + 1))));
    if (colours == 0 || entries >= tableEntries) {
        return std::nullopt;
    }
    std::vector<std::pair<uint32_t, uint64_t>> order(uses.begin(), uses.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    Compaction out;
    std::map<uint32_t, uint8_t> newIndex;
    out.palette.reserve(order.size() + 1);
    const auto rgbOf = [](uint32_t key) {
        return GIFQuantizer::RGB{uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key)};
    };
    // The transparent index shows the most used colour to a reader that
    // ignores transparency.
    out.palette.push_back(rgbOf(order.front().first));
    for (const auto& [key, count] : order) {
        newIndex[key] = uint8_t(out.palette.size());
        out.palette.push_back(rgbOf(key));
    }
    for (size_t i = 0; i < palette.size(); ++i) {
        const auto found = newIndex.find(keyOf(palette[i]));
        out.map[i] = found != newIndex.end() ? found->second : 0;
    }
    return out;
}

Compaction identityCompaction(const GIFQuantizer::Palette& palette) {
    Compaction out;
    out.palette = palette;
    for (size_t i = 0; i < out.map.size(); ++i) {
        out.map[i] = uint8_t(i);
    }
    return out;
}

CanvasReplay::CanvasReplay(const std::vector<StoredFrame>& frames, const Compaction& compaction,
                           int width, int height)
    : m_frames(frames), m_compaction(compaction) {
    m_canvas.width = width;
    m_canvas.height = height;
    m_canvas.indices.assign(size_t(width) * size_t(height), 1);
}

const GIFQuantizer::IndexedFrame* CanvasReplay::frame(int i) {
    const StoredFrame& stored = m_frames[size_t(i)];
    const Rect& r = stored.rect;
    if (!decompress(stored.data, size_t(r.w) * size_t(r.h), m_pixels)) {
        return nullptr;
    }
    const std::array<uint8_t, 256>& map = m_compaction.map;
    const bool marks = stored.stillBits.size() * 8 >= size_t(r.w) * size_t(r.h);
    for (int y = 0; y < r.h; ++y) {
        const size_t row = size_t(y) * size_t(r.w);
        const uint8_t* in = m_pixels.data() + row;
        uint8_t* out =
            m_canvas.indices.data() + size_t(r.y + y) * size_t(m_canvas.width) + size_t(r.x);
        for (int x = 0; x < r.w; ++x) {
            const size_t p = row + size_t(x);
            const bool still = marks && (stored.stillBits[p / 8] >> (p % 8) & 1) != 0;
            if (!still && int(in[x]) != stored.transparent) {
                out[x] = map[in[x]];
            }
        }
    }
    return &m_canvas;
}

}  // namespace mirelo::gif
