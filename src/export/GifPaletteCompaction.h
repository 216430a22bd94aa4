#pragma once

#include "export/GIFQuantizer.h"
#include "export/GifFrameDiff.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace mirelo::gif {

// A frame as it goes into the file.
struct StoredFrame {
    Rect rect;
    int delay = 0;
    int transparent = -1;
    std::vector<uint8_t> data;  // compressed image data
};

// A smaller colour table for an animation that shows fewer colours than its
// palette holds: index 0 is kept for transparency, then every colour shown,
// the most used first (identical colours become one), so fewer bits a code
// hold every index. `map` takes an old index to its new one.
struct Compaction {
    GIFQuantizer::Palette palette;
    std::array<uint8_t, 256> map{};
};

// The compaction for colours shown `counts[i]` times, when it makes the
// table smaller than `tableEntries`; none otherwise.
std::optional<Compaction> compactPalette(const GIFQuantizer::Palette& palette,
                                         const std::array<uint64_t, 256>& counts, int tableEntries);

// Rebuilds the canvas of each stored frame in turn in the compacted indices.
class CanvasReplay {
public:
    CanvasReplay(const std::vector<StoredFrame>& frames, const Compaction& compaction, int width,
                 int height);
    // Frame i's whole canvas; i counts up from 0 by one. Null when its data
    // cannot be read back.
    const GIFQuantizer::IndexedFrame* frame(int i);

private:
    const std::vector<StoredFrame>& m_frames;
    const Compaction& m_compaction;
    GIFQuantizer::IndexedFrame m_canvas;
    std::vector<uint8_t> m_pixels;
};

}  // namespace mirelo::gif
