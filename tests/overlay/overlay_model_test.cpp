#include "image/ImageServices.h"
#include "overlay/OverlayItem.h"
#include "overlay/TextMetrics.h"
#include "support/TestImages.h"

#include <QRawFont>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

using test::patternImage;

OverlayItem textItem(QPointF origin, const QString& text = QStringLiteral("示例文字"),
                     double fontSize = 40) {
    return OverlayItem::make(TextOverlay{origin, text, fontSize, RGBA{1, 0, 0, 1}, false});
}

OverlayItem stickerItem(QRectF rect, Image image = patternImage(4, 2)) {
    return OverlayItem::make(StickerOverlay{rect, image, true});
}

OverlayItem mosaicItem(QRectF rect, double block = 12) {
    return OverlayItem::make(MosaicOverlay{rect, block});
}

OverlayItem arrowItem(QPointF start, QPointF end, double width = 3) {
    return OverlayItem::make(ArrowOverlay{start, end, width, RGBA{0, 0, 1, 1}});
}

TEST(TextMetrics, EmptyTextIsTenWideAndOneFontSizeHigh) {
    EXPECT_EQ(TextMetrics::size(QString(), 33.5), QSizeF(10, 33.5));
    // So an empty text is never dropped by the 2 x 2 rule.
    EXPECT_EQ(textItem({5, 5}, QString(), 33.5).bounds(), QRectF(5, 5, 10, 33.5));
}

TEST(TextMetrics, BoxGrowsWithTheTextAndTheFontSize) {
    const QSizeF small = TextMetrics::size(QStringLiteral("示例文字"), 20);
    const QSizeF large = TextMetrics::size(QStringLiteral("示例文字"), 55.56);
    // Four full-width ideographs are about four font sizes wide.
    EXPECT_NEAR(large.width(), 4 * 55.56, 0.25 * 55.56);
    EXPECT_GT(large.height(), 55.56);
    EXPECT_LT(large.height(), 2 * 55.56);
    EXPECT_NEAR(large.width() / small.width(), 55.56 / 20, 0.05);
    EXPECT_GT(TextMetrics::size(QStringLiteral("示例文字 abc"), 20).width(), small.width());
}

TEST(TextMetrics, ChineseGlyphsComeFromTheSimplifiedChineseFamily) {
    // The locale's fallback would pick Japanese forms; the font asks for SC.
    QTextLayout layout(QStringLiteral("示例 text"), TextMetrics::font(30));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    ASSERT_TRUE(line.isValid());
    bool sawChinese = false;
    for (const QGlyphRun& run : line.glyphRuns()) {
        if (run.rawFont().familyName().contains(QStringLiteral("CJK"))) {
            EXPECT_EQ(run.rawFont().familyName(), QStringLiteral("Noto Sans CJK SC"));
            sawChinese = true;
        }
        for (quint32 glyph : run.glyphIndexes()) {
            EXPECT_NE(glyph, 0u) << "missing glyph in " << run.rawFont().familyName().toStdString();
        }
    }
    EXPECT_TRUE(sawChinese);
    EXPECT_TRUE(TextMetrics::font(30).bold());
}

TEST(TextMetrics, MeasuringDoesNotDependOnTheScreenResolution) {
    // The same text measures alike however large the box is asked for,
    // proportionally: one font size is one image pixel.
    const QSizeF a = TextMetrics::size(QStringLiteral("Hello 示例"), 100);
    const QSizeF b = TextMetrics::size(QStringLiteral("Hello 示例"), 50);
    EXPECT_NEAR(a.width(), 2 * b.width(), 1.0);
    EXPECT_NEAR(a.height(), 2 * b.height(), 1.0);
}

TEST(OverlayBounds, ArrowIsPaddedByTwiceItsLineWidthButAtLeastSix) {
    EXPECT_EQ(arrowItem({10, 40}, {30, 20}, 2).bounds(), QRectF(4, 14, 32, 32));
    EXPECT_EQ(arrowItem({10, 40}, {30, 20}, 5).bounds(), QRectF(0, 10, 40, 40));
    // A zero-length arrow still has a 12 x 12 box.
    EXPECT_EQ(arrowItem({10, 10}, {10, 10}, 1).bounds(), QRectF(4, 4, 12, 12));
    EXPECT_EQ(mosaicItem({1, 2, 3, 4}).bounds(), QRectF(1, 2, 3, 4));
}

TEST(OverlayMove, TranslatesOnlyThePosition) {
    OverlayItem arrow = arrowItem({1, 2}, {3, 4}, 7);
    arrow.moveBy(10, -1);
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content),
              (ArrowOverlay{{11, 1}, {13, 3}, 7, RGBA{0, 0, 1, 1}}));
    const OverlayContent moved = contentTranslated(mosaicItem({1, 2, 3, 4}, 9).content, -1, 1);
    EXPECT_EQ(std::get<MosaicOverlay>(moved), (MosaicOverlay{{0, 3, 3, 4}, 9}));
    OverlayItem text = textItem({5, 6});
    text.moveBy(1, 1);
    EXPECT_EQ(std::get<TextOverlay>(text.content).origin, QPointF(6, 7));
}

TEST(OverlayRotate, ArrowPointsTurnLikeTheFrame) {
    OverlayItem arrow = arrowItem({0, 0}, {10, 20});
    arrow.applyRotate90(true, QSizeF(640, 480));
    const auto& a = std::get<ArrowOverlay>(arrow.content);
    EXPECT_EQ(a.start, QPointF(480, 0));
    EXPECT_EQ(a.end, QPointF(460, 10));
    arrow.applyRotate90(false, QSizeF(480, 640));
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content).start, QPointF(0, 0));
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content).end, QPointF(10, 20));
}

TEST(OverlayRotate, ThereAndBackRestoresStickersMosaicsAndArrowsExactly) {
    const QSizeF size(640.5, 480.25);
    const QList<OverlayItem> before = {stickerItem({10.5, 20.25, 30, 40.75}),
                                       mosaicItem({-5, 400, 100, 200}),
                                       arrowItem({1.5, 2.5}, {600, 470})};
    for (bool clockwiseFirst : {true, false}) {
        QList<OverlayItem> items = before;
        for (OverlayItem& item : items) {
            item.applyRotate90(clockwiseFirst, size);
            item.applyRotate90(!clockwiseFirst, size.transposed());
        }
        EXPECT_EQ(items, before);
    }
}

TEST(OverlayRotate, StickerRectAndPictureTurnTogether) {
    const Image picture = patternImage(4, 2);
    OverlayItem sticker = stickerItem({10, 20, 40, 20}, picture);
    sticker.applyRotate90(true, QSizeF(200, 100));
    const auto& s = std::get<StickerOverlay>(sticker.content);
    EXPECT_EQ(s.rect, QRectF(60, 10, 20, 40));
    ASSERT_EQ(s.image.size(), QSize(2, 4));
    // Clockwise: source (i, j) lands on (H - 1 - j, i).
    EXPECT_EQ(s.image.pixel(1, 3), picture.pixel(3, 0));
    EXPECT_TRUE(s.lockAspect);
}

TEST(OverlayRotate, TextStaysUprightSoItsOriginShiftsOnTheWayBack) {
    const QSizeF box = TextMetrics::size(QStringLiteral("示例文字"), 40);
    OverlayItem text = textItem({10, 30});
    text.applyRotate90(true, QSizeF(640, 480));
    EXPECT_EQ(std::get<TextOverlay>(text.content).origin, QPointF(480 - 30 - box.height(), 10));
    text.applyRotate90(false, QSizeF(480, 640));
    const auto& t = std::get<TextOverlay>(text.content);
    EXPECT_DOUBLE_EQ(t.origin.x(), 10);
    EXPECT_NEAR(t.origin.y(), 30 + box.height() - box.width(), 1e-9);
    EXPECT_EQ(t.text, QStringLiteral("示例文字"));
    EXPECT_EQ(t.fontSize, 40);
}

TEST(OverlayFlip, MirrorsPointsAndNormalisedRects) {
    OverlayItem arrow = arrowItem({10, 5}, {50, 60});
    arrow.applyFlip(true, QSizeF(200, 100));
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content).start, QPointF(190, 5));
    arrow.applyFlip(false, QSizeF(200, 100));
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content).start, QPointF(190, 95));

    OverlayItem mosaic = mosaicItem({10, 20, 30, 40});
    mosaic.applyFlip(true, QSizeF(200, 100));
    EXPECT_EQ(std::get<MosaicOverlay>(mosaic.content).rect, QRectF(160, 20, 30, 40));
    mosaic.applyFlip(false, QSizeF(200, 100));
    EXPECT_EQ(std::get<MosaicOverlay>(mosaic.content).rect, QRectF(160, 40, 30, 40));

    const QSizeF box = TextMetrics::size(QStringLiteral("示例文字"), 40);
    OverlayItem text = textItem({10, 30});
    text.applyFlip(true, QSizeF(640, 480));
    EXPECT_NEAR(std::get<TextOverlay>(text.content).origin.x(), 640 - 10 - box.width(), 1e-9);
}

TEST(OverlayFlip, TwiceInTheSameDirectionRestoresEverything) {
    const QList<OverlayItem> before = {textItem({10.25, 30.5}), stickerItem({10, 20, 30, 40}),
                                       mosaicItem({-5, 40, 100, 20}),
                                       arrowItem({1.5, 2.5}, {600, 470})};
    for (bool horizontal : {true, false}) {
        QList<OverlayItem> items = before;
        for (OverlayItem& item : items) {
            item.applyFlip(horizontal, QSizeF(640, 480));
        }
        EXPECT_NE(items, before);
        for (OverlayItem& item : items) {
            item.applyFlip(horizontal, QSizeF(640, 480));
        }
        EXPECT_EQ(items, before);
    }
}

TEST(OverlayFlip, StickerPictureIsMirroredWithTheFrame) {
    const Image picture = patternImage(4, 2);
    OverlayItem sticker = stickerItem({0, 0, 4, 2}, picture);
    sticker.applyFlip(true, QSizeF(10, 10));
    EXPECT_EQ(std::get<StickerOverlay>(sticker.content).image.pixel(3, 1), picture.pixel(0, 1));
}

TEST(OverlayResize, ScalesPositionsPerAxisAndStrokesByTheMean) {
    const QSizeF from(100, 100), to(50, 200);
    OverlayItem text = textItem({10, 10}, QStringLiteral("a"), 40);
    OverlayItem mosaic = mosaicItem({10, 10, 20, 20}, 12);
    OverlayItem arrow = arrowItem({10, 10}, {20, 30}, 4);
    OverlayItem sticker = stickerItem({10, 10, 20, 20});
    for (OverlayItem* item : {&text, &mosaic, &arrow, &sticker}) {
        item->applyResize(from, to);
    }
    const auto& t = std::get<TextOverlay>(text.content);
    EXPECT_EQ(t.origin, QPointF(5, 20));
    EXPECT_DOUBLE_EQ(t.fontSize, 50);  // mean factor (0.5 + 2) / 2 = 1.25
    EXPECT_EQ(std::get<MosaicOverlay>(mosaic.content), (MosaicOverlay{{5, 20, 10, 40}, 12}));
    const auto& a = std::get<ArrowOverlay>(arrow.content);
    EXPECT_EQ(a.end, QPointF(10, 60));
    EXPECT_DOUBLE_EQ(a.lineWidth, 5);
    EXPECT_EQ(std::get<StickerOverlay>(sticker.content).rect, QRectF(5, 20, 10, 40));
}

TEST(OverlayResize, KeepsFontAndLineAboveTheirMinimaAndIgnoresAnEmptySource) {
    OverlayItem text = textItem({10, 10}, QStringLiteral("a"), 10);
    OverlayItem arrow = arrowItem({10, 10}, {20, 30}, 2);
    text.applyResize(QSizeF(1000, 1000), QSizeF(100, 100));
    arrow.applyResize(QSizeF(1000, 1000), QSizeF(100, 100));
    EXPECT_EQ(std::get<TextOverlay>(text.content).fontSize, 6);
    EXPECT_EQ(std::get<ArrowOverlay>(arrow.content).lineWidth, 1);

    const OverlayItem before = mosaicItem({1, 2, 3, 4});
    OverlayItem item = before;
    item.applyResize(QSizeF(0, 100), QSizeF(50, 50));
    item.applyResize(QSizeF(100, -1), QSizeF(50, 50));
    EXPECT_EQ(item, before);
}

TEST(RGBA, ComesFromAnyColourAsSRGBAndInvalidBecomesBlack) {
    EXPECT_EQ(RGBA::fromQColor(QColor()), (RGBA{0, 0, 0, 1}));
    const RGBA fromHsv = RGBA::fromQColor(QColor::fromHsvF(0, 1, 1, 0.5f));
    EXPECT_DOUBLE_EQ(fromHsv.r, 1.0);
    EXPECT_DOUBLE_EQ(fromHsv.g, 0.0);
    EXPECT_NEAR(fromHsv.a, 0.5, 1e-4);  // QColor keeps 16 bits per component
    EXPECT_FALSE((RGBA{1, 0, 0, 1} == RGBA{1, 0, 0, 0.999}));
}

}  // namespace
}  // namespace mirelo
