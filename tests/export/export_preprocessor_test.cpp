#include "export/ExportPreprocessor.h"
#include "image/ImageServices.h"
#include "support/TestImages.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <numeric>

using namespace mirelo;
using namespace mirelo::ExportPreprocessor;

namespace {

// Frames that are all different from each other, tagged by their index in
// the top-left pixel's blue channel.
std::vector<Image> distinctFrames(int count) {
    std::vector<Image> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(test::solidImage(4, 4, QColor(0, 0, i)));
    }
    return frames;
}

std::vector<int> tags(const std::vector<Image>& frames) {
    std::vector<int> out;
    for (const Image& frame : frames) {
        out.push_back(int(frame.pixel(0, 0) >> 16 & 0xff));
    }
    return out;
}

double sum(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0);
}

// A 16 x 16 frame (one thumbnail pixel per pixel) with `changed` pixels
// recoloured by `delta` in red.
Image withChanges(int changed, int delta) {
    QImage surface = ImageServices::createSurface(16, 16);
    surface.fill(QColor(100, 100, 100));
    for (int i = 0; i < changed; ++i) {
        surface.setPixel(i % 16, i / 16, test::rgba(uint8_t(100 + delta), 100, 100));
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

}  // namespace

TEST(ExportPreprocessorDropFrames, KeepsTheDocumentedSequences) {
    const std::vector<Image> frames = distinctFrames(60);
    const std::vector<double> delays(60, 0.1);
    auto kept = [&](int percent, int count) {
        const Frames out = dropFrames({frames.begin(), frames.begin() + count},
                                      {delays.begin(), delays.begin() + count}, percent);
        EXPECT_EQ(out.images.size(), out.delays.size());
        EXPECT_NEAR(sum(out.delays), 0.1 * count, 1e-9) << percent;
        return tags(out.images);
    };
    EXPECT_EQ(kept(30, 20), (std::vector<int>{0, 2, 4, 5, 7, 8, 10, 11, 12, 14, 15, 17, 18}));
    EXPECT_EQ(kept(10, 20),
              (std::vector<int>{0, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(kept(50, 12), (std::vector<int>{0, 3, 5, 7, 9, 11}));
    EXPECT_EQ(kept(90, 60), (std::vector<int>{0, 20, 30, 40, 50}));
    EXPECT_EQ(kept(95, 60), (std::vector<int>{0, 39, 59}));
    EXPECT_EQ(kept(100, 10), (std::vector<int>{0}));
    EXPECT_EQ(kept(0, 5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(kept(-20, 5), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(ExportPreprocessorDropFrames, DroppedTimeGoesToTheFrameBefore) {
    const Frames out = dropFrames(distinctFrames(4), {0.1, 0.2, 0.3, 0.4}, 50);
    EXPECT_EQ(tags(out.images), (std::vector<int>{0, 3}));
    ASSERT_EQ(out.delays.size(), 2u);
    EXPECT_DOUBLE_EQ(out.delays[0], 0.6);
    EXPECT_DOUBLE_EQ(out.delays[1], 0.4);
}

TEST(ExportPreprocessorSimilar, IdenticalFramesMergeUpToMaxDuration) {
    const Image same = test::solidImage(32, 32, Qt::red);
    const Frames ten =
        dropSimilarFrames(std::vector<Image>(10, same), std::vector<double>(10, 0.1), 0.05, 2);
    ASSERT_EQ(ten.images.size(), 1u);
    EXPECT_NEAR(ten.delays[0], 1.0, 1e-9);

    const Frames thirty =
        dropSimilarFrames(std::vector<Image>(30, same), std::vector<double>(30, 0.1), 0.05, 2);
    ASSERT_EQ(thirty.delays.size(), 2u);
    EXPECT_NEAR(thirty.delays[0], 2.0, 1e-9);
    EXPECT_NEAR(thirty.delays[1], 1.0, 1e-9);
}

TEST(ExportPreprocessorSimilar, ThresholdCountsChangedThumbnailPixels) {
    const Image base = withChanges(0, 0);
    auto keptCount = [&](const Image& second) {
        return dropSimilarFrames({base, second}, {0.1, 0.1}, 0.05, 10).images.size();
    };
    EXPECT_EQ(keptCount(withChanges(13, 100)), 2u);  // 5.1 %
    EXPECT_EQ(keptCount(withChanges(12, 100)), 1u);  // 4.7 %
    // A difference of exactly 20 is no change; 21 is.
    EXPECT_DOUBLE_EQ(averageDifference(downsample(base), downsample(withChanges(256, 20))), 0.0);
    EXPECT_DOUBLE_EQ(averageDifference(downsample(base), downsample(withChanges(256, 21))), 1.0);
}

TEST(ExportPreprocessorSimilar, ComparesWithTheLastKeptFrame) {
    // Each frame drifts a little from its predecessor, but the third is far
    // from the first: it is kept although it is close to the second.
    const std::vector<Image> frames = {withChanges(256, 0), withChanges(256, 15),
                                       withChanges(256, 30), withChanges(256, 40)};
    const Frames out = dropSimilarFrames(frames, {0.1, 0.2, 0.3, 0.4}, 0.05, 10);
    ASSERT_EQ(out.images.size(), 2u);
    EXPECT_NEAR(out.delays[0], 0.3, 1e-12);
    EXPECT_NEAR(out.delays[1], 0.7, 1e-12);
}

TEST(ExportPreprocessorSimilar, DifferenceOfOddBuffers) {
    const uint8_t a[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const uint8_t b[4] = {0, 0, 0, 0};
    EXPECT_EQ(averageDifference(a, 8, b, 4), 1.0);
    EXPECT_EQ(averageDifference(a, 0, b, 0), 1.0);
    const uint8_t alphaOnly[8] = {0, 0, 0, 255, 0, 0, 0, 255};
    EXPECT_EQ(averageDifference(a, 8, alphaOnly, 8), 0.0);
    EXPECT_EQ(downsample(Image()), Thumbnail{});
}

TEST(ExportPreprocessorResize, ScalesAllFramesToTheFirstFramesTarget) {
    const Frames half =
        resize({test::patternImage(1280, 720), test::patternImage(300, 200)}, {0.1, 0.2}, 50);
    ASSERT_EQ(half.images.size(), 2u);
    EXPECT_EQ(half.images[0].size(), QSize(640, 360));
    EXPECT_EQ(half.images[1].size(), QSize(640, 360));
    EXPECT_EQ(half.delays, (std::vector<double>{0.1, 0.2}));

    EXPECT_EQ(resize({test::patternImage(500, 300)}, {0.1}, 1).images[0].size(), QSize(10, 10));
    // 33 % of 101 x 3 is 33.33 x 0.99: rounded, then raised to 10.
    EXPECT_EQ(resize({test::patternImage(101, 3)}, {0.1}, 33).images[0].size(), QSize(33, 10));
    const Image original = test::patternImage(50, 40);
    const Frames same = resize({original}, {0.1}, 100);
    EXPECT_TRUE(same.images[0].sharesPixelsWith(original));
}

TEST(ExportPreprocessorProcess, AppliesReductionsInOrderAndKeepsTheTotal) {
    std::vector<Image> frames;
    std::vector<double> delays;
    for (int i = 0; i < 40; ++i) {
        // Pairs of identical frames; each pair far from the one before.
        frames.push_back(test::solidImage(200, 100, QColor(0, 0, (i / 2) * 25 % 250)));
        delays.push_back(0.05 + 0.01 * (i % 3));
    }
    Options options;
    options.skipSimilar = SkipSimilar{0.05, 2.0};
    options.reduceFramesPercent = 50;
    options.resizePercent = 25;
    const Frames out = process(frames, delays, options);
    // 20 distinct frames after skipping, then 0, 3, 5, 7, ... of those.
    EXPECT_EQ(out.images.size(), 10u);
    EXPECT_EQ(out.images.size(), out.delays.size());
    EXPECT_NEAR(sum(out.delays), sum(delays), 1e-9);
    for (const Image& image : out.images) {
        EXPECT_EQ(image.size(), QSize(50, 25));
    }
    EXPECT_EQ(out.images[1].pixel(0, 0) >> 16 & 0xff, 75u);

    const Frames untouched = process(frames, delays, Options{});
    EXPECT_EQ(untouched.images.size(), frames.size());
    EXPECT_EQ(untouched.delays, delays);
}
