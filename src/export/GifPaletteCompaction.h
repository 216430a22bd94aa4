#pragma once

#include "export/GIFQuantizer.h"
#include "export/GifCompressPool.h"
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
    // Lossy compression: the rectangle's still pixels, one bit each (see
    // FrameJob), or empty.
    std::vector<uint8_t> stillBits;
    FrameChoice choice;  // the way it was compressed
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

// The same colour table: every index kept as it is.
Compaction identityCompaction(const GIFQuantizer::Palette& palette);

// Rebuilds the canvas of each stored frame in turn in the compacted indices.
// A pixel its frame marks still keeps what the canvas showed before, so
// lossy compression never changes a still pixel.
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
