#pragma once

#include "image/Image.h"

// Quarter turns and mirrors with an exact pixel mapping. Pixel (i, j) is
// column i from the left and row j from the top of a W x H source. Both return
// a new standard-format image, or a null Image when the canvas cannot be made
// (the caller then keeps its old image).
namespace mirelo::ImageTransforms {

// H x W result. Clockwise: (i, j) -> (H - 1 - j, i); counter-clockwise:
// (i, j) -> (j, W - 1 - i).
Image rotated90(const Image& image, bool clockwise);

// W x H result. Horizontal: (i, j) -> (W - 1 - i, j); vertical:
// (i, j) -> (i, H - 1 - j).
Image flipped(const Image& image, bool horizontal);

namespace detail {

// The block mover a quarter turn uses. Best picks the widest vector code this
// processor runs; the others can be asked for so that tests check every path
// on any machine. A path the build lacks falls back to the next simpler one.
enum class TurnPath { Best, Vector128, Portable };

Image rotated90(const Image& image, bool clockwise, TurnPath path);

}  // namespace detail

}  // namespace mirelo::ImageTransforms
