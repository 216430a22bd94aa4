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

}  // namespace mirelo::ImageTransforms
