#pragma once

#include "image/Image.h"
#include "overlay/OverlayItem.h"

#include <QList>
#include <QRectF>
#include <QUuid>

#include <memory>
#include <vector>

// Burns overlays into frame images. Stateless; safe to call from any thread.
namespace mirelo::OverlayRenderer {

// The frame with every overlay drawn in, in list order (later items cover
// earlier ones), at the frame's size. An empty list, a null frame or a
// surface that cannot be made gives the input image itself, not a copy.
//
// Stickers are stretched into their rectangles; text is drawn with the
// shared overlay font (and its soft shadow when asked); a mosaic pixellates
// the surface as drawn so far; an arrow is a shaft with an open V head.
Image render(const QList<OverlayItem>& overlays, const Image& frame);
// The same for the frame with id `frameId`: key captions and click marks are drawn only on the
// frames they belong to (OverlayItem::showsOn); the call above draws them all.
Image render(const QList<OverlayItem>& overlays, const Image& frame, const QUuid& frameId);

// Burns one overlay list into frames one at a time, from any number of threads
// at once, so that an export can make each frame as its encoder asks for it
// instead of holding a drawn copy of every frame. What the overlays need for
// a frame size (scaled stickers, text shadows) is prepared once and shared;
// texts are set out anew for every frame, on the thread that draws it.
// render(frame) equals render(overlays, frame). Copies share everything.
class FrameRenderer {
public:
    explicit FrameRenderer(QList<OverlayItem> overlays);
    Image render(const Image& frame) const;
    Image render(const Image& frame, const QUuid& frameId) const;

private:
    Image render(const Image& frame, const QUuid* frameId) const;
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

// The same for many frames, spread over the pool's threads: texts, shadows and
// scaled stickers are prepared once per thread and frame size and reused.
// Result i belongs to frame i and equals render(overlays, frames[i]).
std::vector<Image> renderAll(const QList<OverlayItem>& overlays, const std::vector<Image>& frames);

}  // namespace mirelo::OverlayRenderer

// The mosaic filter shared by the renderer and the canvas preview.
namespace mirelo::MosaicPixelator {

// The side of a mosaic cell for `blockSize`: at least 4 pixels (and 4 for a
// value that is not a number).
double cellSize(double blockSize);

// The content of `rect` (image pixels, top-left origin) pixellated: `rect` is
// rounded outwards to whole pixels and clipped to the image, giving R; the
// result is R's width x height pixels of square cells of cellSize(blockSize)
// on a grid with a cell corner at the centre of R, each cell filled with the
// mean colour of its pixels inside R. Null when R is less than 2 x 2 pixels.
Image pixelate(const Image& image, const QRectF& rect, double blockSize);

}  // namespace mirelo::MosaicPixelator
