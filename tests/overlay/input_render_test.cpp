// Key captions, click marks and pointer highlights drawn by the overlay renderer: only on their
// frames, placed on the frame, left out when hidden.
#include "image/ImageServices.h"
#include "overlay/OverlayRenderer.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

namespace mirelo {
namespace {

QColor pixel(const Image& image, int x, int y) {
    return image.qimage().pixelColor(x, y);
}

OverlayItem captionOn(const QList<QUuid>& frames, QSizeF frameSize, bool top = false) {
    KeyCaptionOverlay caption;
    caption.text = QStringLiteral("Ctrl+S");
    caption.fontSize = 20;
    caption.frameSize = frameSize;
    caption.top = top;
    caption.boxColor = RGBA{0, 0, 0, 1};
    OverlayItem item = OverlayItem::make(caption);
    item.frames = frames;
    return item;
}

OverlayItem markOn(const QList<QUuid>& frames, QPointF center, bool right = false) {
    ClickMarkOverlay mark;
    mark.center = center;
    mark.radius = 12;
    mark.rightButton = right;
    mark.color = RGBA{1, 0, 0, 1};
    OverlayItem item = OverlayItem::make(mark);
    item.frames = frames;
    return item;
}

TEST(InputRender, CaptionsAndMarksShowOnlyOnTheirFrames) {
    const Image white = test::solidImage(200, 120, Qt::white);
    const QUuid on = QUuid::createUuid();
    const QUuid off = QUuid::createUuid();
    const QList<OverlayItem> overlays{captionOn({on}, QSizeF(200, 120)),
                                      markOn({on}, QPointF(40, 30))};

    const Image drawn = OverlayRenderer::render(overlays, white, on);
    const QRectF box = overlays[0].bounds();
    EXPECT_NEAR(box.center().x(), 100.0, 1e-9);
    EXPECT_LT(box.bottom(), 120.0);
    EXPECT_GT(box.top(), 60.0);
    // The box's dark fill beside its text, and the ring's edge.
    EXPECT_EQ(pixel(drawn, int(box.left()) + 3, int(box.center().y())), QColor(Qt::black));
    const QColor ring = pixel(drawn, 40 + 12, 30);
    EXPECT_GT(ring.red(), 200);
    EXPECT_LT(ring.green(), 80);
    // A faint fill inside a left click's ring.
    EXPECT_LT(pixel(drawn, 40, 30).green(), 250);

    // On another frame nothing is drawn: the frame itself comes back.
    const Image other = OverlayRenderer::render(overlays, white, off);
    EXPECT_EQ(other.cacheKey(), white.cacheKey());
    const OverlayRenderer::FrameRenderer renderer(overlays);
    EXPECT_EQ(renderer.render(white, off).cacheKey(), white.cacheKey());
    EXPECT_EQ(renderer.render(white, on).qimage(), drawn.qimage());
}

TEST(InputRender, TopCaptionsRightClicksAndHiddenOnes) {
    const Image white = test::solidImage(200, 120, Qt::white);
    const QUuid frame = QUuid::createUuid();
    OverlayItem top = captionOn({frame}, QSizeF(200, 120), true);
    EXPECT_LT(top.bounds().top(), 20.0);

    // A right click: two rings, no fill at the centre.
    const Image right =
        OverlayRenderer::render({markOn({frame}, QPointF(50, 50), true)}, white, frame);
    EXPECT_EQ(pixel(right, 50, 50), QColor(Qt::white));
    EXPECT_GT(pixel(right, 56, 50).red(), 200);
    EXPECT_LT(pixel(right, 56, 50).green(), 120);

    std::get<KeyCaptionOverlay>(top.content).hidden = true;
    OverlayItem mark = markOn({frame}, QPointF(50, 50));
    std::get<ClickMarkOverlay>(mark.content).hidden = true;
    EXPECT_EQ(OverlayRenderer::render({top, mark}, white, frame).cacheKey(), white.cacheKey());
}

TEST(InputRender, APointerHighlightIsASoftDiscOnItsFramesOnceShown) {
    const Image white = test::solidImage(200, 120, Qt::white);
    const QUuid on = QUuid::createUuid();
    PointerHighlightOverlay disc;
    disc.center = QPointF(60, 40);
    disc.radius = 20;
    OverlayItem item = OverlayItem::make(disc);
    item.frames = {on};
    // Made hidden: nothing drawn until shown.
    EXPECT_EQ(OverlayRenderer::render({item}, white, on).cacheKey(), white.cacheKey());

    std::get<PointerHighlightOverlay>(item.content).hidden = false;
    const Image drawn = OverlayRenderer::render({item}, white, on);
    const QColor centre = pixel(drawn, 60, 40);
    const QColor rim = pixel(drawn, 60 + 17, 40);
    // Yellow over white: blue goes down, red and green stay high; translucent, so not pure.
    EXPECT_GT(centre.red(), 240);
    EXPECT_GT(centre.green(), 220);
    EXPECT_LT(centre.blue(), 200);
    EXPECT_GT(centre.blue(), 60);
    // It fades out towards its edge, and nothing lies past it.
    EXPECT_GT(rim.blue(), centre.blue());
    EXPECT_EQ(pixel(drawn, 60 + 21, 40), QColor(Qt::white));
    EXPECT_EQ(OverlayRenderer::render({item}, white, QUuid::createUuid()).cacheKey(),
              white.cacheKey());
}

TEST(InputRender, TimedContentFollowsGeometry) {
    OverlayItem mark = markOn({}, QPointF(10, 5));
    mark.applyRotate90(false, QSizeF(40, 30));
    EXPECT_EQ(std::get<ClickMarkOverlay>(mark.content).center, QPointF(5, 30));
    mark.applyResize(QSizeF(30, 40), QSizeF(15, 20));
    EXPECT_EQ(std::get<ClickMarkOverlay>(mark.content).center, QPointF(2.5, 15));
    EXPECT_EQ(std::get<ClickMarkOverlay>(mark.content).radius, 6);
    mark.moveBy(1, 1);
    EXPECT_EQ(std::get<ClickMarkOverlay>(mark.content).center, QPointF(3.5, 16));

    OverlayItem caption = captionOn({}, QSizeF(40, 30));
    const QRectF before = caption.bounds();
    caption.moveBy(7, 7);
    caption.applyFlip(false, QSizeF(40, 30));
    EXPECT_EQ(caption.bounds(), before);  // placed on the frame, never moved or mirrored
    EXPECT_TRUE(caption.isTimed());
    EXPECT_FALSE(OverlayItem::make(MosaicOverlay{QRectF(0, 0, 4, 4), 8}).isTimed());
    EXPECT_TRUE(OverlayItem::make(MosaicOverlay{}).showsOn(QUuid::createUuid()));
}

}  // namespace
}  // namespace mirelo
