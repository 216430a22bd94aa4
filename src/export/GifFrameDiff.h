#pragma once

#include "export/GIFQuantizer.h"

#include <cstdint>
#include <vector>

// What a GIF frame must store: the rectangle that changed since the frame
// before, and the canvas a frame is drawn on.
namespace mirelo::gif {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool isEmpty() const { return w <= 0 || h <= 0; }
};

// The smallest rectangle holding every pixel that differs between two
// frames of `width` x `height` indices; empty when none does.
Rect changedRect(const uint8_t* prev, const uint8_t* cur, int width, int height);

// `frame` itself when it is width x height; otherwise a copy in `storage`
// on a canvas of that size filled with `fill`, the frame at the top left
// (cut to the canvas where it is larger).
const GIFQuantizer::IndexedFrame& fitted(const GIFQuantizer::IndexedFrame& frame, int width,
                                         int height, uint8_t fill,
                                         GIFQuantizer::IndexedFrame& storage);

// `frame` (on the canvas) with the pixels that `source` marks still given
// the previous output's indices. Copies into `storage` unless `frame` is it.
const GIFQuantizer::IndexedFrame& withStillKept(const GIFQuantizer::IndexedFrame& frame,
                                                const GIFQuantizer::IndexedFrame& source,
                                                const std::vector<uint8_t>& previous,
                                                GIFQuantizer::IndexedFrame& storage);

}  // namespace mirelo::gif
