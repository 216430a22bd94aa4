#pragma once

// Pixel work of the overlays that the painter does not do well. Every function reads and
// writes standard (premultiplied) surfaces in place and is safe to call from any thread on
// surfaces of its own.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <vector>

namespace mirelo::pixeleffects {

// The pixellated patch of `rect` over `source` (see MosaicPixelator::pixelate). Reads the
// source in place, so the renderer can pass the surface it is still drawing on without taking
// a copy of it first.
QImage pixelateRegion(const QImage& source, const QRectF& rect, double blockSize);

// Draws a premultiplied patch over `surface` at `at`, source over, one to one.
void blendOver(QImage& surface, const QImage& patch, QPoint at);

// Blurs the coverage `alpha` (width x height) in place: about a Gaussian of deviation `sigma`.
void gaussianBlur(std::vector<uint8_t>& alpha, int width, int height, double sigma);

// Black at the coverage over `area` of `surface`, source over; an opaque frame stays opaque.
void darken(QImage& surface, const std::vector<uint8_t>& coverage, const QRect& area);

}  // namespace mirelo::pixeleffects
