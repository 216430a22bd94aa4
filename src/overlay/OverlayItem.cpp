#include "overlay/OverlayItem.h"

#include "image/ImageTransforms.h"
#include "overlay/TextMetrics.h"

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

// Geometry compares exactly: QPointF and QRectF use a fuzzy comparison, which
// would hide a restore that is off by a rounding error.
bool samePoint(const QPointF& a, const QPointF& b) {
    return a.x() == b.x() && a.y() == b.y();
}

bool sameRect(const QRectF& a, const QRectF& b) {
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// Quarter turns of an image W x H: clockwise (x, y) -> (H - y, x),
// counter-clockwise (x, y) -> (y, W - x).
QPointF rotatedPoint(const QPointF& p, bool clockwise, const QSizeF& old) {
    return clockwise ? QPointF(old.height() - p.y(), p.x()) : QPointF(p.y(), old.width() - p.x());
}

// The bounding box of the four turned corners.
QRectF rotatedRect(const QRectF& r, bool clockwise, const QSizeF& old) {
    const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
    if (clockwise) {
        return QRectF(old.height() - (y + h), x, h, w);
    }
    return QRectF(y, old.width() - (x + w), h, w);
}

QPointF flippedPoint(const QPointF& p, bool horizontal, const QSizeF& size) {
    return horizontal ? QPointF(size.width() - p.x(), p.y())
                      : QPointF(p.x(), size.height() - p.y());
}

QRectF flippedRect(const QRectF& r, bool horizontal, const QSizeF& size) {
    if (horizontal) {
        return QRectF(size.width() - (r.x() + r.width()), r.y(), r.width(), r.height());
    }
    return QRectF(r.x(), size.height() - (r.y() + r.height()), r.width(), r.height());
}

QRectF scaledRect(const QRectF& r, double sx, double sy) {
    return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
}

}  // namespace

RGBA RGBA::fromQColor(const QColor& color) {
    if (!color.isValid()) {
        return RGBA{0, 0, 0, 1};
    }
    const QColor srgb = color.toRgb();
    if (!srgb.isValid()) {
        return RGBA{0, 0, 0, 1};
    }
    return RGBA{srgb.redF(), srgb.greenF(), srgb.blueF(), srgb.alphaF()};
}

QColor RGBA::toQColor() const {
    auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    return QColor::fromRgbF(float(unit(r)), float(unit(g)), float(unit(b)), float(unit(a)));
}

bool operator==(const TextOverlay& a, const TextOverlay& b) {
    return samePoint(a.origin, b.origin) && a.text == b.text && a.fontSize == b.fontSize &&
           a.color == b.color && a.shadow == b.shadow;
}

bool operator==(const StickerOverlay& a, const StickerOverlay& b) {
    return sameRect(a.rect, b.rect) && a.lockAspect == b.lockAspect &&
           a.image.qimage() == b.image.qimage();
}

bool operator==(const MosaicOverlay& a, const MosaicOverlay& b) {
    return sameRect(a.rect, b.rect) && a.blockSize == b.blockSize;
}

bool operator==(const ArrowOverlay& a, const ArrowOverlay& b) {
    return samePoint(a.start, b.start) && samePoint(a.end, b.end) && a.lineWidth == b.lineWidth &&
           a.color == b.color;
}

bool operator==(const KeyCaptionOverlay& a, const KeyCaptionOverlay& b) {
    return a.text == b.text && a.fontSize == b.fontSize && a.textColor == b.textColor &&
           a.boxColor == b.boxColor && a.top == b.top &&
           a.frameSize.width() == b.frameSize.width() &&
           a.frameSize.height() == b.frameSize.height() && a.hidden == b.hidden;
}

bool operator==(const ClickMarkOverlay& a, const ClickMarkOverlay& b) {
    return samePoint(a.center, b.center) && a.radius == b.radius && a.color == b.color &&
           a.rightButton == b.rightButton && a.hidden == b.hidden;
}

bool operator==(const PointerHighlightOverlay& a, const PointerHighlightOverlay& b) {
    return samePoint(a.center, b.center) && a.radius == b.radius && a.color == b.color &&
           a.hidden == b.hidden;
}

QRectF captionBox(const KeyCaptionOverlay& caption) {
    const QSizeF text = TextMetrics::size(caption.text, caption.fontSize);
    const double padX = caption.fontSize * 0.6;
    const double padY = caption.fontSize * 0.3;
    const double width = text.width() + 2.0 * padX;
    const double height = text.height() + 2.0 * padY;
    const double margin = std::max(8.0, caption.frameSize.height() * 0.06);
    const double x = (caption.frameSize.width() - width) / 2.0;
    const double y = caption.top ? margin : caption.frameSize.height() - margin - height;
    return QRectF(x, y, width, height);
}

double ringWidth(const ClickMarkOverlay& mark) {
    return std::max(2.0, mark.radius / 5.0);
}

bool isTimed(const OverlayContent& content) {
    return std::holds_alternative<KeyCaptionOverlay>(content) ||
           std::holds_alternative<ClickMarkOverlay>(content) ||
           std::holds_alternative<PointerHighlightOverlay>(content);
}

OverlayContent contentTranslated(const OverlayContent& content, double dx, double dy) {
    OverlayContent moved = content;
    std::visit(Overloaded{
                   [&](TextOverlay& t) { t.origin += QPointF(dx, dy); },
                   [&](StickerOverlay& s) { s.rect.translate(dx, dy); },
                   [&](MosaicOverlay& m) { m.rect.translate(dx, dy); },
                   [&](ArrowOverlay& a) {
                       a.start += QPointF(dx, dy);
                       a.end += QPointF(dx, dy);
                   },
                   // A caption keeps its place on the frame.
                   [&](KeyCaptionOverlay&) {},
                   [&](ClickMarkOverlay& c) { c.center += QPointF(dx, dy); },
                   [&](PointerHighlightOverlay& p) { p.center += QPointF(dx, dy); },
               },
               moved);
    return moved;
}

QRectF bounds(const OverlayContent& content) {
    return std::visit(Overloaded{
                          [](const TextOverlay& t) {
                              return QRectF(t.origin, TextMetrics::size(t.text, t.fontSize));
                          },
                          [](const StickerOverlay& s) { return s.rect; },
                          [](const MosaicOverlay& m) { return m.rect; },
                          [](const ArrowOverlay& a) {
                              const double pad = std::max(2.0 * a.lineWidth, 6.0);
                              return QRectF(std::min(a.start.x(), a.end.x()) - pad,
                                            std::min(a.start.y(), a.end.y()) - pad,
                                            std::abs(a.end.x() - a.start.x()) + 2.0 * pad,
                                            std::abs(a.end.y() - a.start.y()) + 2.0 * pad);
                          },
                          [](const KeyCaptionOverlay& k) { return captionBox(k); },
                          [](const ClickMarkOverlay& c) {
                              const double r = c.radius + ringWidth(c);
                              return QRectF(c.center.x() - r, c.center.y() - r, 2 * r, 2 * r);
                          },
                          [](const PointerHighlightOverlay& p) {
                              return QRectF(p.center.x() - p.radius, p.center.y() - p.radius,
                                            2 * p.radius, 2 * p.radius);
                          },
                      },
                      content);
}

OverlayItem OverlayItem::make(OverlayContent content) {
    return OverlayItem{QUuid::createUuid(), std::move(content)};
}

void OverlayItem::moveBy(double dx, double dy) {
    content = contentTranslated(content, dx, dy);
}

void OverlayItem::applyRotate90(bool clockwise, const QSizeF& oldSize) {
    std::visit(
        Overloaded{
            [&](TextOverlay& t) {
                const QRectF box(t.origin, TextMetrics::size(t.text, t.fontSize));
                t.origin = rotatedRect(box, clockwise, oldSize).topLeft();
            },
            [&](StickerOverlay& s) {
                s.rect = rotatedRect(s.rect, clockwise, oldSize);
                if (Image turned = ImageTransforms::rotated90(s.image, clockwise);
                    !turned.isNull()) {
                    s.image = std::move(turned);
                }
            },
            [&](MosaicOverlay& m) { m.rect = rotatedRect(m.rect, clockwise, oldSize); },
            [&](ArrowOverlay& a) {
                a.start = rotatedPoint(a.start, clockwise, oldSize);
                a.end = rotatedPoint(a.end, clockwise, oldSize);
            },
            [&](KeyCaptionOverlay& k) { k.frameSize.transpose(); },
            [&](ClickMarkOverlay& c) { c.center = rotatedPoint(c.center, clockwise, oldSize); },
            [&](PointerHighlightOverlay& p) {
                p.center = rotatedPoint(p.center, clockwise, oldSize);
            },
        },
        content);
}

void OverlayItem::applyFlip(bool horizontal, const QSizeF& size) {
    std::visit(
        Overloaded{
            [&](TextOverlay& t) {
                const QRectF box(t.origin, TextMetrics::size(t.text, t.fontSize));
                t.origin = flippedRect(box, horizontal, size).topLeft();
            },
            [&](StickerOverlay& s) {
                s.rect = flippedRect(s.rect, horizontal, size);
                if (Image mirrored = ImageTransforms::flipped(s.image, horizontal);
                    !mirrored.isNull()) {
                    s.image = std::move(mirrored);
                }
            },
            [&](MosaicOverlay& m) { m.rect = flippedRect(m.rect, horizontal, size); },
            [&](ArrowOverlay& a) {
                a.start = flippedPoint(a.start, horizontal, size);
                a.end = flippedPoint(a.end, horizontal, size);
            },
            // Text is never mirrored; the caption stays where it is on the frame.
            [&](KeyCaptionOverlay&) {},
            [&](ClickMarkOverlay& c) { c.center = flippedPoint(c.center, horizontal, size); },
            [&](PointerHighlightOverlay& p) {
                p.center = flippedPoint(p.center, horizontal, size);
            },
        },
        content);
}

void OverlayItem::applyResize(const QSizeF& from, const QSizeF& to) {
    if (!(from.width() > 0) || !(from.height() > 0)) {
        return;
    }
    const double sx = to.width() / from.width();
    const double sy = to.height() / from.height();
    const double mean = (sx + sy) / 2.0;
    std::visit(Overloaded{
                   [&](TextOverlay& t) {
                       t.origin = QPointF(t.origin.x() * sx, t.origin.y() * sy);
                       t.fontSize = std::max(t.fontSize * mean, 6.0);
                   },
                   [&](StickerOverlay& s) { s.rect = scaledRect(s.rect, sx, sy); },
                   [&](MosaicOverlay& m) { m.rect = scaledRect(m.rect, sx, sy); },
                   [&](ArrowOverlay& a) {
                       a.start = QPointF(a.start.x() * sx, a.start.y() * sy);
                       a.end = QPointF(a.end.x() * sx, a.end.y() * sy);
                       a.lineWidth = std::max(a.lineWidth * mean, 1.0);
                   },
                   [&](KeyCaptionOverlay& k) {
                       k.frameSize = QSizeF(k.frameSize.width() * sx, k.frameSize.height() * sy);
                       k.fontSize = std::max(k.fontSize * mean, 6.0);
                   },
                   [&](ClickMarkOverlay& c) {
                       c.center = QPointF(c.center.x() * sx, c.center.y() * sy);
                       c.radius = std::max(c.radius * mean, 4.0);
                   },
                   [&](PointerHighlightOverlay& p) {
                       p.center = QPointF(p.center.x() * sx, p.center.y() * sy);
                       p.radius = std::max(p.radius * mean, 4.0);
                   },
               },
               content);
}

}  // namespace mirelo
