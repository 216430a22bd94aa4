#pragma once

#include "image/Image.h"

#include <QPainter>
#include <QRect>
#include <QTransform>

#include <cstdint>
#include <vector>

// The raster operations the rest of Mirelo shares. Images are top-left
// origin, y down, like Qt's painter, so no flip is needed when drawing a
// top-left rectangle. Every function that makes an image returns a null Image
// when the surface cannot be created.
namespace mirelo::ImageServices {

// Largest surface we agree to allocate, in pixels (about 1 GiB of RGBA).
inline constexpr qint64 kMaxSurfacePixels = 268'435'456;

enum class Fill { TransparentBlack, None };

// A new standard surface of w x h pixels, every pixel transparent black (or
// left uninitialised with Fill::None, for callers that write every pixel).
// Null when either side is below 1 or the surface is too large.
QImage createSurface(int width, int height, Fill fill = Fill::TransparentBlack);

// Takes a finished surface as an immutable Image.
Image imageFromSurface(QImage surface);

// A painter on `surface` set up for high-quality scaled and transformed draws.
void prepareHighQuality(QPainter& painter);

enum class ScaleQuality { High, Low };

// The whole image drawn scaled into a new width x height surface. High uses an
// area-averaging filter for downscaling; Low may be cheaper (thumbnails).
Image scaled(const Image& image, int width, int height, ScaleQuality quality = ScaleQuality::High);

// The whole image drawn into a new canvas through `transform` (maps source
// pixel coordinates to canvas coordinates), high quality.
Image drawnTransformed(const Image& image, QSize canvas, const QTransform& transform);

// The pixels inside `rect` (pixel coordinates, top-left origin) after
// clipping to the image. Shares the source's memory; null when the clipped
// rectangle is empty.
Image subImage(const Image& image, const QRect& rect);

// The smallest integral rectangle containing `rect`: origin rounded down,
// far edges rounded up. Edges beyond ±2^29 (and infinities) are clamped
// there; NaN counts as -2^29.
QRect integralRect(const QRectF& rect);

// The pixels as bytes: top row first, R, G, B, A premultiplied, rows exactly
// width x 4 bytes long.
std::vector<uint8_t> readBytes(const Image& image);

// An image from bytes laid out as readBytes() gives them (premultiplied
// RGBA, `stride` bytes per row). The bytes are copied.
Image fromBytes(const uint8_t* data, int width, int height, qsizetype stride);

}  // namespace mirelo::ImageServices
