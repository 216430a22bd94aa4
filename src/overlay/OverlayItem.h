#pragma once

#include "image/Image.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <variant>

// The overlay values laid over every frame of an animation. All geometry is
// in pixels of the frame images: origin at the top-left corner, x to the
// right, y downwards, unrounded 64-bit values that may lie partly or wholly
// outside the image.
namespace mirelo {

// A colour in sRGB, not premultiplied, each component in 0...1.
struct RGBA {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    double a = 1.0;

    // The colour in sRGB; an invalid colour becomes opaque black.
    static RGBA fromQColor(const QColor& color);
    QColor toQColor() const;

    friend bool operator==(const RGBA&, const RGBA&) = default;
};

// One line of text. `origin` is the top-left corner of its measured box.
struct TextOverlay {
    QPointF origin;
    QString text;
    double fontSize = 20.0;  // image pixels
    RGBA color;
    bool shadow = false;

    friend bool operator==(const TextOverlay& a, const TextOverlay& b);
};

// A picture stretched to fill `rect`.
struct StickerOverlay {
    QRectF rect;
    Image image;  // at the resolution it was loaded with, shared between copies
    bool lockAspect = true;

    // Pictures compare by pixels (shared pixels compare equal at once).
    friend bool operator==(const StickerOverlay& a, const StickerOverlay& b);
};

// A pixellated area with square cells of `blockSize` pixels.
struct MosaicOverlay {
    QRectF rect;
    double blockSize = 8.0;

    friend bool operator==(const MosaicOverlay& a, const MosaicOverlay& b);
};

// A straight arrow; the open head is drawn at `end`.
struct ArrowOverlay {
    QPointF start;
    QPointF end;
    double lineWidth = 3.0;
    RGBA color;

    friend bool operator==(const ArrowOverlay& a, const ArrowOverlay& b);
};

// The keys pressed at one moment of a recording: white text in a rounded dark box, centred
// near the bottom (or the top) edge of the frames it is placed on. It is placed on the frame,
// not on the picture: geometry changes keep it upright and readable, and only `frameSize`
// follows them.
struct KeyCaptionOverlay {
    QString text;
    double fontSize = 24.0;  // image pixels
    RGBA textColor{1.0, 1.0, 1.0, 1.0};
    RGBA boxColor{0.08, 0.08, 0.08, 0.8};
    bool top = false;
    QSizeF frameSize;     // of the frames it lies on
    bool hidden = false;  // left out of the preview and the saved file

    friend bool operator==(const KeyCaptionOverlay& a, const KeyCaptionOverlay& b);
};

// Where a mouse button was pressed: a ring around the pointer; a double ring for the right
// button.
struct ClickMarkOverlay {
    QPointF center;
    double radius = 16.0;  // image pixels
    RGBA color{1.0, 0.78, 0.0, 1.0};
    bool rightButton = false;
    bool hidden = false;  // left out of the preview and the saved file

    friend bool operator==(const ClickMarkOverlay& a, const ClickMarkOverlay& b);
};

// Where the pointer was on the frames it is placed on: a soft translucent disc under it.
// Made from the pointer positions a recording kept, hidden until the user asks for it.
struct PointerHighlightOverlay {
    QPointF center;
    double radius = 24.0;  // image pixels
    RGBA color{1.0, 0.86, 0.1, 0.45};
    bool hidden = true;  // left out of the preview and the saved file

    friend bool operator==(const PointerHighlightOverlay& a, const PointerHighlightOverlay& b);
};

// The box of a key caption: its text with padding, centred horizontally, a margin away from
// the bottom (or top) edge of `frameSize`.
QRectF captionBox(const KeyCaptionOverlay& caption);
// The width of a click mark's ring.
double ringWidth(const ClickMarkOverlay& mark);

// Exactly one of the kinds, in this order.
using OverlayContent = std::variant<TextOverlay, StickerOverlay, MosaicOverlay, ArrowOverlay,
                                    KeyCaptionOverlay, ClickMarkOverlay, PointerHighlightOverlay>;

// Key captions, click marks and pointer highlights belong to moments of a recording (the frames
// they fall on); the other kinds lie over every frame.
bool isTimed(const OverlayContent& content);

// The content moved by (dx, dy): the text origin, the rectangle's origin, or
// both arrow ends. Nothing else changes.
OverlayContent contentTranslated(const OverlayContent& content, double dx, double dy);

// The bounding rectangle of an overlay's content in image pixels: a text's
// measured box, a sticker's or mosaic's rect, or an arrow's ends padded by
// max(2 x lineWidth, 6) on every side.
QRectF bounds(const OverlayContent& content);

// One overlay: a fixed identity and its current content. A plain value;
// copies share a sticker's pixels.
struct OverlayItem {
    QUuid id;
    OverlayContent content;
    // The frames a timed overlay shows on (by frame id); empty for the others, which show on
    // every frame.
    QList<QUuid> frames;

    // An item with a fresh random id.
    static OverlayItem make(OverlayContent content);

    QRectF bounds() const { return mirelo::bounds(content); }
    bool isTimed() const { return mirelo::isTimed(content); }
    // Whether the overlay is drawn on the frame `frame`: always for an overlay of every frame.
    bool showsOn(const QUuid& frame) const { return !isTimed() || frames.contains(frame); }

    // Translates the item by (dx, dy), as contentTranslated does.
    void moveBy(double dx, double dy);

    // Follows a quarter turn of an image of `oldSize` (the new image is
    // oldSize.height() wide). A point (x, y) goes to (H - y, x) clockwise and
    // to (y, W - x) counter-clockwise; rectangles go to the bounding box of
    // their turned corners. Text stays upright: its measured box is turned
    // and the origin becomes that box's top-left corner. Sticker pictures turn
    // with the frames.
    void applyRotate90(bool clockwise, const QSizeF& oldSize);

    // Follows a mirroring of an image of `size`: left-right when `horizontal`,
    // else top-bottom. Rectangles and a text's box stay normalised; the text
    // itself is never mirrored, sticker pictures are.
    void applyFlip(bool horizontal, const QSizeF& size);

    // Follows a scaling of the image from `from` to `to`: positions and sizes
    // scale per axis; font size (at least 6) and line width (at least 1) by
    // the mean of both factors; a mosaic's block size stays. Nothing happens
    // when `from` is not a positive size.
    void applyResize(const QSizeF& from, const QSizeF& to);

    friend bool operator==(const OverlayItem&, const OverlayItem&) = default;
};

}  // namespace mirelo
