// Display choice, source rectangle and pixel sizes of a recording region.
#include "capture/CaptureGeometry.h"
#include "capture/ScreenRecorder.h"

#include <gtest/gtest.h>

namespace mirelo {
namespace {

CaptureDisplay display(uint32_t id, const QString& name, QRect pixels) {
    return CaptureDisplay{id, name, pixels};
}

std::optional<CaptureConfiguration> configure(const QRectF& region,
                                              const std::vector<CaptureDisplay>& displays,
                                              const std::vector<ScreenInfo>& screens,
                                              double fps = 15) {
    return CaptureGeometry::configure(region, fps, true, displays, screens);
}

TEST(CaptureGeometry, RegionOnThePrimaryDisplay) {
    const auto config = configure(QRectF(100, 200, 640, 360),
                                  {display(7, "DP-1", QRect(0, 0, 1920, 1080))}, {{"DP-1", 1.0}});
    ASSERT_TRUE(config);
    EXPECT_EQ(config->displayId, 7u);
    EXPECT_EQ(config->sourceRect, QRectF(100, 200, 640, 360));
    EXPECT_EQ(config->sourcePixels, QRect(100, 200, 640, 360));
    EXPECT_EQ(config->outputSize, QSize(640, 360));
    EXPECT_EQ(config->queueDepth, 6);
    EXPECT_TRUE(config->showsCursor);
}

TEST(CaptureGeometry, DisplaysLeftOfAndAboveThePrimaryHaveNegativeCoordinates) {
    const std::vector<CaptureDisplay> displays = {
        display(1, "primary", QRect(0, 0, 1920, 1080)),
        display(2, "left", QRect(-1280, 0, 1280, 1024)),
        display(3, "above", QRect(0, -900, 1600, 900)),
    };
    const std::vector<ScreenInfo> screens = {{"primary", 1}, {"left", 1}, {"above", 1}};

    const auto left = configure(QRectF(-1000, 100, 200, 100), displays, screens);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->displayId, 2u);
    EXPECT_EQ(left->sourceRect, QRectF(280, 100, 200, 100));
    EXPECT_EQ(left->sourcePixels, QRect(-1000, 100, 200, 100));

    const auto above = configure(QRectF(50, -500, 300, 200), displays, screens);
    ASSERT_TRUE(above);
    EXPECT_EQ(above->displayId, 3u);
    EXPECT_EQ(above->sourceRect, QRectF(50, 400, 300, 200));
}

TEST(CaptureGeometry, RegionOnTwoDisplaysUsesTheFirstListedAndMayReachPastIt) {
    const std::vector<CaptureDisplay> displays = {
        display(1, "A", QRect(0, 0, 1920, 1080)),
        display(2, "B", QRect(1920, 0, 1920, 1080)),
    };
    const std::vector<ScreenInfo> screens = {{"A", 1}, {"B", 1}};
    const auto config = configure(QRectF(1800, 100, 400, 300), displays, screens);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->displayId, 1u);
    EXPECT_EQ(config->sourcePixels, QRect(1800, 100, 400, 300));

    // Listed the other way round, the same region is taken from B.
    const auto swapped =
        configure(QRectF(1800, 100, 400, 300), {displays[1], displays[0]}, screens);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(swapped->displayId, 2u);
    EXPECT_EQ(swapped->sourceRect, QRectF(-120, 100, 400, 300));
    EXPECT_EQ(swapped->sourcePixels, QRect(1800, 100, 400, 300));
}

TEST(CaptureGeometry, NoDisplayUnderTheRegion) {
    const std::vector<CaptureDisplay> displays = {display(1, "A", QRect(0, 0, 1920, 1080))};
    EXPECT_FALSE(configure(QRectF(2000, 0, 100, 100), displays, {{"A", 1}}));
    // Touching the edge is not overlapping.
    EXPECT_FALSE(configure(QRectF(1920, 0, 100, 100), displays, {{"A", 1}}));
    EXPECT_FALSE(configure(QRectF(0, 0, 100, 100), {}, {}));
}

TEST(CaptureGeometry, PixelSizesFollowTheScreenRatioTruncated) {
    const std::vector<CaptureDisplay> displays = {display(1, "HiDPI", QRect(0, 0, 3840, 2160))};
    const auto config = configure(QRectF(10, 20, 960.5, 540.25), displays, {{"HiDPI", 2.0}});
    ASSERT_TRUE(config);
    EXPECT_EQ(config->outputSize, QSize(1921, 1080));
    EXPECT_EQ(config->sourcePixels, QRect(20, 40, 1921, 1080));

    EXPECT_EQ(CaptureGeometry::pixelSize(QSizeF(100.3, 50.9), 1.0), QSize(100, 50));
    EXPECT_EQ(CaptureGeometry::pixelSize(QSizeF(100.3, 10), 1.5), QSize(150, 15));
    // Never below one pixel, whatever the region.
    EXPECT_EQ(CaptureGeometry::pixelSize(QSizeF(0.4, 0), 1.0), QSize(1, 1));
}

TEST(CaptureGeometry, ScaledDisplayKeepsItsPixelOriginAndDividesItsSize) {
    // A 2x display right of a 1x primary: its points start at its pixel origin.
    const std::vector<CaptureDisplay> displays = {
        display(1, "A", QRect(0, 0, 1920, 1080)),
        display(2, "B", QRect(1920, 0, 3840, 2160)),
    };
    const std::vector<ScreenInfo> screens = {{"A", 1.0}, {"B", 2.0}};
    const auto config = configure(QRectF(2020, 100, 400, 300), displays, screens);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->displayId, 2u);
    EXPECT_EQ(config->sourceRect, QRectF(100, 100, 400, 300));
    EXPECT_EQ(config->sourcePixels, QRect(2120, 200, 800, 600));
    EXPECT_EQ(config->outputSize, QSize(800, 600));
    // B covers points 1920..3840 only.
    EXPECT_EQ(configure(QRectF(4000, 100, 100, 100), displays, screens), std::nullopt);
}

TEST(CaptureGeometry, DisplayUnknownToTheScreenListIsCapturedAtScaleTwo) {
    const std::vector<CaptureDisplay> displays = {display(9, "ghost", QRect(0, 0, 1920, 1080))};
    const auto config = configure(QRectF(100, 100, 640, 360), displays, {{"other", 1.0}});
    ASSERT_TRUE(config);
    EXPECT_EQ(config->outputSize, QSize(1280, 720));
    EXPECT_EQ(config->sourcePixels, QRect(100, 100, 640, 360));
}

TEST(CaptureGeometry, RegionMapsOntoAScaledPictureEdgeByEdge) {
    using CaptureGeometry::pixelsOfRegion;
    // A monitor at (1280, 0), 1280 x 720 points, whose pictures have twice the pixels.
    const QRectF monitor(1280, 0, 1280, 720);
    EXPECT_EQ(pixelsOfRegion(QRectF(1441, 67, 960, 540), monitor, QSize(2560, 1440)),
              QRect(322, 134, 1920, 1080));
    // At scale 1.5 an edge inside a pixel leaves that pixel out: the compositor blends it
    // with what lies beyond (the header above, the outline around).
    EXPECT_EQ(
        pixelsOfRegion(QRectF(160, 111, 960, 540), QRectF(0, 0, 1280, 720), QSize(1920, 1080)),
        QRect(240, 167, 1440, 809));
    // The pixels come from the picture's real size, whatever the area: each axis alone.
    EXPECT_EQ(pixelsOfRegion(QRectF(10, 10, 100, 100), QRectF(0, 0, 200, 100), QSize(400, 100)),
              QRect(20, 10, 200, 100));
    // A region beyond the picture maps beyond it; never an empty rectangle.
    EXPECT_EQ(pixelsOfRegion(QRectF(-50, 0, 100, 10), QRectF(0, 0, 100, 100), QSize(100, 100)),
              QRect(-50, 0, 100, 10));
    EXPECT_EQ(pixelsOfRegion(QRectF(5, 5, 0, 0), QRectF(0, 0, 100, 100), QSize(100, 100)).size(),
              QSize(1, 1));
}

TEST(CaptureGeometry, FrameIntervalIsOneOverTheTruncatedRate) {
    EXPECT_EQ(CaptureGeometry::frameInterval(15.0), (MediaTime{1, 15, MediaTime::Valid}));
    EXPECT_EQ(CaptureGeometry::frameInterval(29.97).timescale, 29);
    EXPECT_EQ(CaptureGeometry::frameInterval(0.0).timescale, 1);
    EXPECT_EQ(CaptureGeometry::frameInterval(-5).timescale, 1);
    EXPECT_EQ(CaptureGeometry::frameInterval(std::nan("")).timescale, 1);
}

}  // namespace
}  // namespace mirelo
