#pragma once

#include "export/ExportTypes.h"
#include "image/Image.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Reduces the full-colour frames of an animation to one shared palette of at
// most 256 colours: a median-cut palette over pixels sampled from a few
// frames, a 32768-entry table from 5-bit-per-channel colours to palette
// indices, and Floyd-Steinberg error diffusion per frame. Stateless; every
// function may run on any thread.
namespace mirelo::GIFQuantizer {

struct RGB {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const RGB&, const RGB&) = default;
};

// 1 to 256 distinct colours; an entry's position is its palette index.
using Palette = std::vector<RGB>;

inline constexpr int kLookupSize = 32768;
// kLookupSize palette indices; the slot of (r, g, b) is lookupSlot(r, g, b).
using Lookup = std::vector<uint8_t>;

inline constexpr int lookupSlot(int r, int g, int b) {
    return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
}

inline constexpr int kMaxSampledFrames = 12;
inline constexpr int kSampleBudget = 120000;

// One palette for the whole animation, from median cut into `colors` boxes
// (clamped to 2..256). Never empty: black and white when nothing could be
// sampled.
Palette buildPalette(const std::vector<Image>& frames, int colors);
// The same over `frameCount` frames made by `frameAt` when sampled, one at a
// time.
Palette buildPalette(size_t frameCount, const std::function<Image(size_t index)>& frameAt,
                     int colors);

// The nearest palette colour (squared distance, lowest index on ties) for the
// centre of every 5-bit cell.
Lookup buildLookup(const Palette& palette);

// One frame in palette indices, row-major, top row first.
struct IndexedFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;
    // Empty, or one flag per pixel: 1 where the source pixel equals the
    // previous frame's, whose output index it keeps (see keepStill); the
    // index stored for such a pixel means nothing until then.
    std::vector<uint8_t> still;
    bool isEmpty() const { return width <= 0 || height <= 0; }
};

// Maps one frame onto the palette with error diffusion of strength `dither`
// (clamped to 0..1); transparency is blended over white. Checks `cancel` at
// every 16th row and returns std::nullopt when it is set. A frame without
// pixels gives an empty IndexedFrame.
//
// With `previous`, the frame shown before (same size), only the pixels whose
// source differs from it are mapped, and the error diffusion runs within
// them alone: an unchanged pixel neither takes nor passes on error, and is
// marked in `still` to keep the previous output. Still areas therefore do
// not shimmer from frame to frame, and a frame that changes everywhere maps
// exactly as without `previous`.
std::optional<IndexedFrame> quantizeToIndices(const Image& image, const Palette& palette,
                                              const Lookup& lookup, float dither,
                                              const CancelFlag& cancel = {},
                                              const Image* previous = nullptr);

namespace detail {

// The error diffusion quantizeToIndices() runs. best takes the vector code
// where the build has it; portable can be asked for so that tests compare
// both paths on any machine.
enum class DiffusionPath { best, portable };

std::optional<IndexedFrame> quantizeToIndices(const Image& image, const Palette& palette,
                                              const Lookup& lookup, float dither,
                                              DiffusionPath path, const CancelFlag& cancel = {},
                                              const Image* previous = nullptr);

}  // namespace detail

// Gives the still pixels of `frame` the indices of the previous frame's
// output (same size, row-major) and clears the marks.
void keepStill(IndexedFrame& frame, const uint8_t* previousIndices);

// The same as an opaque image whose every pixel is a palette colour. A frame
// without pixels is returned as it is; std::nullopt when cancelled.
std::optional<Image> quantize(const Image& image, const Palette& palette, const Lookup& lookup,
                              float dither, const CancelFlag& cancel = {});

// An indexed frame back as an opaque image.
Image imageFromIndices(const IndexedFrame& frame, const Palette& palette);

// --- Building blocks, exposed for tests ---

// Indices of the frames sampled for the palette, in order.
std::vector<int> sampledFrameIndices(int frameCount);

// The frame's pixels blended over opaque white: R, G, B, A=255 bytes, rows of
// exactly width x 4 bytes. Empty for a frame without pixels.
std::vector<uint8_t> rgbaBytes(const Image& image);

// Channel with the largest range (0 red, 1 green, 2 blue; the lower channel on
// ties) and that range. `count` must be at least 1.
std::pair<int, int> widestChannel(const RGB* box, size_t count);

// Median cut of the samples into at most `boxes` boxes, then one mean colour
// per box in box order with duplicates removed.
Palette medianCut(std::vector<RGB> samples, int boxes);

}  // namespace mirelo::GIFQuantizer
