#include "image/ImageServices.h"
#include "overlay/OverlayRenderer.h"
#include "overlay/TextMetrics.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

namespace mirelo {
namespace {

using test::patternImage;
using test::rgba;
using test::solidImage;

const RGBA kBlack{0, 0, 0, 1};

// Red byte of a pixel (all tests draw grey or black on white).
int red(const Image& image, int x, int y) {
    return int(image.pixel(x, y) & 0xff);
}

OverlayItem text(QPointF origin, const QString& s, double size, bool shadow = false) {
    return OverlayItem::make(TextOverlay{origin, s, size, kBlack, shadow});
}

OverlayItem arrow(QPointF start, QPointF end, double width) {
    return OverlayItem::make(ArrowOverlay{start, end, width, kBlack});
}

OverlayItem mosaic(QRectF rect, double block) {
    return OverlayItem::make(MosaicOverlay{rect, block});
}

// The rectangle holding every pixel that differs from `background`.
QRect changedArea(const Image& image, const Image& background) {
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background.pixel(x, y)) {
                area = area.united(QRect(x, y, 1, 1));
            }
        }
    }
    return area;
}

// True when every cell-sized block of `image` inside `area`, with block edges
// at the given column and row boundaries, holds one colour.
bool uniformBetween(const Image& image, const std::vector<int>& xs, const std::vector<int>& ys) {
    for (size_t j = 0; j + 1 < ys.size(); ++j) {
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            const uint32_t first = image.pixel(xs[i], ys[j]);
            for (int y = ys[j]; y < ys[j + 1]; ++y) {
                for (int x = xs[i]; x < xs[i + 1]; ++x) {
                    if (image.pixel(x, y) != first) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

TEST(OverlayRenderer, NothingToDrawGivesTheVeryInputImage) {
    const Image frame = patternImage(50, 40);
    const Image out = OverlayRenderer::render({}, frame);
    EXPECT_EQ(out.qimage().constBits(), frame.qimage().constBits());
    // A list with only an empty text draws nothing visible.
    const Image drawn = OverlayRenderer::render({text({5, 5}, QString(), 20)}, frame);
    EXPECT_EQ(ImageServices::readBytes(drawn), ImageServices::readBytes(frame));
}

TEST(OverlayRenderer, StickerIsStretchedIntoItsRect) {
    QImage picture = ImageServices::createSurface(2, 2);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(1, 0, Qt::green);
    picture.setPixelColor(0, 1, Qt::blue);
    picture.setPixelColor(1, 1, Qt::black);
    const Image sticker = Image::fromQImage(picture);
    const Image frame = solidImage(100, 60, Qt::white);
    const Image out = OverlayRenderer::render(
        {OverlayItem::make(StickerOverlay{QRectF(10, 10, 40, 20), sticker, true})}, frame);
    EXPECT_EQ(out.pixel(12, 12), rgba(255, 0, 0));
    EXPECT_EQ(out.pixel(47, 12), rgba(0, 255, 0));
    EXPECT_EQ(out.pixel(12, 27), rgba(0, 0, 255));
    EXPECT_EQ(out.pixel(47, 27), rgba(0, 0, 0));
    EXPECT_EQ(out.pixel(9, 9), rgba(255, 255, 255));
    EXPECT_EQ(out.pixel(51, 31), rgba(255, 255, 255));
}

TEST(OverlayRenderer, LargeStickerIsShrunkByAveragingNotSampling) {
    // Alternating black and white columns averaged down are grey everywhere;
    // picking pixels would give black or white stripes.
    QImage stripes = ImageServices::createSurface(400, 40);
    for (int x = 0; x < 400; ++x) {
        for (int y = 0; y < 40; ++y) {
            stripes.setPixelColor(x, y, x % 2 ? Qt::white : Qt::black);
        }
    }
    const Image out = OverlayRenderer::render(
        {OverlayItem::make(StickerOverlay{QRectF(0, 0, 40, 4), Image::fromQImage(stripes), true})},
        solidImage(50, 10, Qt::red));
    for (int x = 1; x < 39; ++x) {
        EXPECT_NEAR(red(out, x, 2), 128, 12) << x;
    }
}

TEST(OverlayRenderer, TextGlyphsLieInsideTheMeasuredBoxWhoseTopIsTheOrigin) {
    const Image frame = solidImage(420, 100, Qt::white);
    for (const QString& s : {QStringLiteral("示例文字"), QStringLiteral("ÁgjÉy|]"),
                             QStringLiteral("Mirelo 录制 fff")}) {
        for (double size : {12.0, 31.7, 60.0}) {
            const QPointF origin(10.5, 10);
            const Image out = OverlayRenderer::render({text(origin, s, size)}, frame);
            const QRect ink = changedArea(out, frame);
            ASSERT_FALSE(ink.isEmpty()) << s.toStdString();
            const QRectF box(origin, TextMetrics::size(s, size));
            const QRect allowed = ImageServices::integralRect(box);
            EXPECT_TRUE(allowed.contains(ink))
                << s.toStdString() << " at " << size << ": ink " << ink.x() << "," << ink.y() << " "
                << ink.width() << "x" << ink.height() << " box " << box.x() << "," << box.y() << " "
                << box.width() << "x" << box.height();
            // The top edge is at origin.y: ink starts just below it, not far.
            EXPECT_GE(ink.top(), 10);
            EXPECT_LT(ink.top(), 10 + 0.4 * size);
        }
    }
}

TEST(OverlayRenderer, ShadowIsSoftBlackAtMostFortyFivePerCent) {
    const Image frame = solidImage(200, 80, Qt::white);
    const QString s = QStringLiteral("示例");
    const Image plain = OverlayRenderer::render({text({20, 10}, s, 40)}, frame);
    const Image shadowed = OverlayRenderer::render({text({20, 10}, s, 40, true)}, frame);
    int darkened = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (plain.pixel(x, y) == frame.pixel(x, y)) {
                // Outside the glyphs only the shadow shows: never darker
                // than black at 0.45 over white.
                EXPECT_GE(red(shadowed, x, y), 255 * 0.55 - 2);
                darkened += red(shadowed, x, y) < 250;
            }
            // The shadow darkens an opaque frame; it never makes it see-through.
            ASSERT_EQ(shadowed.pixel(x, y) >> 24, 255u) << x << "," << y;
        }
    }
    EXPECT_GT(darkened, 50);
    // Blur radius max(40 / 10, 2) = 4: nothing reaches 3 radii past the box.
    const QRect box =
        ImageServices::integralRect(QRectF(QPointF(20, 10), TextMetrics::size(s, 40)));
    EXPECT_TRUE(box.adjusted(-12, -12, 12, 12).contains(changedArea(shadowed, frame)));
}

// Darkness (255 - red) of the arrow at a point `distance` from the tip along
// the wing that leaves it at `wingAngle` (radians, image space).
int darknessAlongWing(const Image& out, QPointF tip, double wingAngle, double distance) {
    const QPointF p = tip - distance * QPointF(std::cos(wingAngle), std::sin(wingAngle));
    return 255 - red(out, int(std::floor(p.x())), int(std::floor(p.y())));
}

TEST(OverlayRenderer, ArrowHeadIsAnOpenVOfFourLineWidthsButAtLeastTwelve) {
    const Image frame = solidImage(120, 100, Qt::white);
    for (auto [width, length] : {std::pair{2.0, 12.0}, std::pair{5.0, 20.0}}) {
        const QPointF tip(100.5, 50.5);
        const Image out = OverlayRenderer::render({arrow({10.5, 50.5}, tip, width)}, frame);
        for (double wing : {std::numbers::pi / 6, -std::numbers::pi / 6}) {
            EXPECT_GT(darknessAlongWing(out, tip, wing, length - 2), 200) << width;
            // Past the wing's end (plus its round cap) the frame shows.
            EXPECT_EQ(darknessAlongWing(out, tip, wing, length + width / 2 + 2), 0) << width;
        }
        // Open: between the wings, away from the shaft, nothing is filled.
        EXPECT_EQ(255 - red(out, int(tip.x() - length * 0.75), int(tip.y() - length * 0.2)), 0);
    }
}

TEST(OverlayRenderer, ArrowWithoutLengthHasWingsPointingLeft) {
    const Image frame = solidImage(60, 60, Qt::white);
    const Image out = OverlayRenderer::render({arrow({30.5, 30.5}, {30.5, 30.5}, 2)}, frame);
    EXPECT_LT(red(out, 22, 26), 60);
    EXPECT_LT(red(out, 22, 35), 60);
    EXPECT_EQ(red(out, 40, 30), 255);
    EXPECT_EQ(red(out, 40, 26), 255);
}

TEST(MosaicPixelator, CellsOfBlockSizeAnchoredAtTheCentre) {
    const Image source = patternImage(60, 60);
    // R = (0, 0, 30, 30): centre 15, cells of 12 -> edges at 3, 15, 27.
    const Image cells = MosaicPixelator::pixelate(source, QRectF(0, 0, 30, 30), 12);
    ASSERT_EQ(cells.size(), QSize(30, 30));
    EXPECT_TRUE(uniformBetween(cells, {0, 3, 15, 27, 30}, {0, 3, 15, 27, 30}));
    EXPECT_NE(cells.pixel(3, 3), cells.pixel(15, 3));
    EXPECT_NE(cells.pixel(2, 3), cells.pixel(3, 3));
    // Each cell is the mean of its pixels: columns 3...14 average 8.5 -> 9.
    EXPECT_EQ(cells.pixel(3, 3) & 0xffff, rgba(9, 9, 0) & 0xffff);

    // Block size 2 is drawn with 4-pixel cells (centre 20 -> edges at 0, 4, ...).
    const Image small = MosaicPixelator::pixelate(source, QRectF(0, 0, 40, 40), 2);
    std::vector<int> edges;
    for (int e = 0; e <= 40; e += 4) {
        edges.push_back(e);
    }
    EXPECT_TRUE(uniformBetween(small, edges, edges));
    EXPECT_NE(small.pixel(0, 0), small.pixel(4, 0));
}

TEST(MosaicPixelator, AreaUnderTwoPixelsOrOutsideGivesNothing) {
    const Image source = patternImage(60, 60);
    EXPECT_TRUE(MosaicPixelator::pixelate(source, QRectF(10, 10, 1, 30), 8).isNull());
    EXPECT_TRUE(MosaicPixelator::pixelate(source, QRectF(70, 10, 30, 30), 8).isNull());
    EXPECT_TRUE(MosaicPixelator::pixelate(source, QRectF(-40, 10, 39.5, 30), 8).isNull());
    EXPECT_FALSE(MosaicPixelator::pixelate(source, QRectF(10.5, 10, 1, 30), 8).isNull());
    // Rounded outwards and clipped.
    EXPECT_EQ(MosaicPixelator::pixelate(source, QRectF(50.5, -3, 20, 10.2), 8).size(),
              QSize(10, 8));
    EXPECT_EQ(MosaicPixelator::cellSize(std::nan("")), 4.0);
    const Image frame = patternImage(60, 60);
    EXPECT_EQ(
        ImageServices::readBytes(OverlayRenderer::render({mosaic({10, 10, 1, 30}, 8)}, frame)),
        ImageServices::readBytes(frame));
}

TEST(OverlayRenderer, MosaicIsDrawnIntoItsRect) {
    const Image frame = patternImage(80, 80);
    const Image out = OverlayRenderer::render({mosaic({10, 20, 40, 30}, 10)}, frame);
    const Image patch = MosaicPixelator::pixelate(frame, QRectF(10, 20, 40, 30), 10);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(out.pixel(10 + x, 20 + y), patch.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(out.pixel(9, 20), frame.pixel(9, 20));
    EXPECT_EQ(out.pixel(50, 49), frame.pixel(50, 49));
}

TEST(OverlayRenderer, MosaicPastTheEdgeStretchesItsInsidePatchOverItsRect) {
    const Image frame = patternImage(100, 100);
    // Inside part R = (0, 0, 20, 40): cells of 10 with edges at 0, 10, 20
    // across; the patch is drawn into (-20, 0, 40, 40), so the frame's
    // columns 0...19 show the patch's right cell column twice as wide.
    const Image out = OverlayRenderer::render({mosaic({-20, 0, 40, 40}, 10)}, frame);
    const Image patch = MosaicPixelator::pixelate(frame, QRectF(-20, 0, 40, 40), 10);
    ASSERT_EQ(patch.size(), QSize(20, 40));
    for (int x : {4, 10, 16}) {
        EXPECT_EQ(out.pixel(x, 5), patch.pixel(15, 5)) << x;
        EXPECT_EQ(out.pixel(x, 25), patch.pixel(15, 25)) << x;
    }
    EXPECT_EQ(out.pixel(25, 5), frame.pixel(25, 5));
}

TEST(OverlayRenderer, MosaicPixellatesWhatWasDrawnBeforeItOnly) {
    const Image frame = solidImage(200, 100, Qt::white);
    const OverlayItem words = text({20, 20}, QStringLiteral("示例文字"), 36);
    const OverlayItem blocks = mosaic({0, 0, 200, 100}, 10);
    const Image textOnly = OverlayRenderer::render({words}, frame);
    const Image under = OverlayRenderer::render({words, blocks}, frame);
    const Image over = OverlayRenderer::render({blocks, words}, frame);

    // Text first: cells of 10 (edges at multiples of 10 around the centre
    // 100, 50), some of them greyed by the text, none sharp.
    std::vector<int> xs, ys;
    for (int e = 0; e <= 200; e += 10)
        xs.push_back(e);
    for (int e = 0; e <= 100; e += 10)
        ys.push_back(e);
    EXPECT_TRUE(uniformBetween(under, xs, ys));
    EXPECT_NE(ImageServices::readBytes(under), ImageServices::readBytes(frame));
    EXPECT_NE(ImageServices::readBytes(under), ImageServices::readBytes(textOnly));

    // Text after the mosaic of a white frame stays sharp.
    EXPECT_EQ(ImageServices::readBytes(over), ImageServices::readBytes(textOnly));
}

TEST(OverlayRenderer, SecondMosaicPixellatesTheFirst) {
    const Image frame = patternImage(64, 64);
    const OverlayItem first = mosaic({0, 0, 64, 64}, 8);
    const OverlayItem second = mosaic({0, 0, 64, 64}, 16);
    const Image both = OverlayRenderer::render({first, second}, frame);
    const Image direct = MosaicPixelator::pixelate(OverlayRenderer::render({first}, frame),
                                                   QRectF(0, 0, 64, 64), 16);
    EXPECT_EQ(ImageServices::readBytes(both), ImageServices::readBytes(direct));
}

TEST(OverlayRenderer, RenderAllMatchesRenderFrameByFrame) {
    const QList<OverlayItem> overlays = {text({5, 5}, QStringLiteral("示例 ab"), 20, true),
                                         mosaic({30, 10, 40, 30}, 6), arrow({10, 50}, {70, 20}, 3)};
    const std::vector<Image> frames = {patternImage(90, 60, 1), patternImage(90, 60, 2),
                                       patternImage(60, 90, 3)};
    const std::vector<Image> all = OverlayRenderer::renderAll(overlays, frames);
    ASSERT_EQ(all.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(ImageServices::readBytes(all[i]),
                  ImageServices::readBytes(OverlayRenderer::render(overlays, frames[i])));
    }
}

TEST(OverlayRenderer, FrameRendererMatchesRenderFromManyThreadsAtOnce) {
    const QList<OverlayItem> overlays = {
        text({5, 5}, QStringLiteral("示例 ab"), 20, true),
        OverlayItem::make(StickerOverlay{QRectF(40, 4, 24, 18), patternImage(96, 72, 9), true}),
        mosaic({30, 10, 40, 30}, 6), arrow({10, 50}, {70, 20}, 3)};
    std::vector<Image> frames;
    for (int i = 0; i < 12; ++i) {
        frames.push_back(i % 4 == 3 ? patternImage(60, 90, uint8_t(i))
                                    : patternImage(90, 60, uint8_t(i)));
    }
    const OverlayRenderer::FrameRenderer renderer(overlays);
    std::vector<std::vector<uint8_t>> drawn(frames.size() * 3);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < frames.size(); ++i) {
                drawn[t * frames.size() + i] = ImageServices::readBytes(renderer.render(frames[i]));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < drawn.size(); ++i) {
        const Image& frame = frames[i % frames.size()];
        EXPECT_EQ(drawn[i], ImageServices::readBytes(OverlayRenderer::render(overlays, frame)))
            << "frame " << i;
    }
    // No overlays: the frame itself.
    const Image plain = patternImage(8, 8);
    EXPECT_TRUE(OverlayRenderer::FrameRenderer({}).render(plain).sharesPixelsWith(plain));
}

TEST(OverlayRenderer, ValuesThatAreNotNumbersOrHugeNeitherCrashNorHang) {
    const double nan = std::nan(""), inf = INFINITY;
    const Image frame = patternImage(40, 30);
    const QList<OverlayItem> overlays = {
        text({nan, 5}, QStringLiteral("a"), 20, true),
        text({5, 5}, QStringLiteral("a"), nan, true),
        text({5, 5}, QStringLiteral("ab"), 1e9, true),
        OverlayItem::make(StickerOverlay{QRectF(0, 0, inf, 10), patternImage(4, 4), true}),
        OverlayItem::make(StickerOverlay{QRectF(0, 0, -10, 10), patternImage(4, 4), true}),
        mosaic({0, 0, inf, 10}, 8),
        mosaic({-1e12, -1e12, 2e12, 2e12}, nan),
        mosaic({0, 0, 20, 20}, 1e300),
        arrow({0, 0}, {nan, 10}, 2),
        arrow({0, 0}, {10, 10}, -3),
        arrow({0, 0}, {10, 10}, nan),
    };
    const Image out = OverlayRenderer::render(overlays, frame);
    EXPECT_EQ(out.size(), frame.size());
}

TEST(OverlayRenderer, CroppedFrameIsDrawnAtItsOwnSize) {
    // A frame that is a view into a larger image renders like a compact one.
    const Image big = patternImage(100, 100);
    const Image view = ImageServices::subImage(big, QRect(10, 20, 50, 40));
    const Image compact =
        ImageServices::fromBytes(ImageServices::readBytes(view).data(), 50, 40, 200);
    const QList<OverlayItem> overlays = {mosaic({0, 0, 30, 30}, 5)};
    EXPECT_EQ(ImageServices::readBytes(OverlayRenderer::render(overlays, view)),
              ImageServices::readBytes(OverlayRenderer::render(overlays, compact)));
    EXPECT_EQ(ImageServices::readBytes(view), ImageServices::readBytes(compact));
}

TEST(OverlayRenderer, FrameOfSharedBandsRendersLikeOneSurfaceAndLeavesTheBands) {
    // Recorded frames share their bands with other frames: drawing on one
    // must not reach the others.
    const Image top = patternImage(60, 16, 1);
    const Image bottom = patternImage(60, 16, 2);
    const Image banded = Image::stacked({top, bottom});
    const std::vector<uint8_t> topBefore = ImageServices::readBytes(top);
    const Image plain =
        ImageServices::fromBytes(ImageServices::readBytes(banded).data(), 60, 32, 240);
    const QList<OverlayItem> overlays = {mosaic({0, 8, 40, 20}, 5), arrow({2, 2}, {50, 30}, 3)};
    const Image drawn = OverlayRenderer::render(overlays, banded);
    EXPECT_EQ(ImageServices::readBytes(drawn),
              ImageServices::readBytes(OverlayRenderer::render(overlays, plain)));
    EXPECT_NE(ImageServices::readBytes(drawn), ImageServices::readBytes(banded));
    EXPECT_EQ(ImageServices::readBytes(top), topBefore);
}

}  // namespace
}  // namespace mirelo
