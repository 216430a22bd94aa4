#include "export/GIFQuantizer.h"
#include "image/ImageServices.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <set>

using namespace mirelo;
using namespace mirelo::GIFQuantizer;

namespace {

std::vector<RGB> reds(std::initializer_list<int> values) {
    std::vector<RGB> out;
    for (int v : values) {
        out.push_back({uint8_t(v), 0, 0});
    }
    return out;
}

// A w x h image from one grey level per pixel, row-major.
Image greyImage(int width, int height, std::initializer_list<int> levels) {
    QImage surface = ImageServices::createSurface(width, height);
    auto it = levels.begin();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, ++it) {
            surface.setPixel(x, y, test::rgba(uint8_t(*it), uint8_t(*it), uint8_t(*it)));
        }
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

const Palette kBlackWhite = {{0, 0, 0}, {255, 255, 255}};

}  // namespace

TEST(GIFQuantizerSampling, TakesAtMostTwelveFramesIncludingFirstAndLast) {
    EXPECT_EQ(sampledFrameIndices(13), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12}));
    std::vector<int> everyNinth;
    for (int i = 0; i <= 99; i += 9) {
        everyNinth.push_back(i);
    }
    EXPECT_EQ(sampledFrameIndices(100), everyNinth);
    EXPECT_EQ(sampledFrameIndices(3), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(sampledFrameIndices(0).empty());
}

TEST(GIFQuantizerMedianCut, WidestChannelPrefersLowerChannelOnTies) {
    const RGB redGreenTie[] = {{0, 0, 0}, {10, 10, 5}};
    EXPECT_EQ(widestChannel(redGreenTie, 2), std::make_pair(0, 10));
    const RGB greenBlueTie[] = {{0, 0, 0}, {5, 10, 10}};
    EXPECT_EQ(widestChannel(greenBlueTie, 2), std::make_pair(1, 10));
    const RGB blue[] = {{7, 7, 0}, {7, 9, 200}};
    EXPECT_EQ(widestChannel(blue, 2), std::make_pair(2, 200));
}

TEST(GIFQuantizerMedianCut, SplitsWidestBoxAndAppendsUpperHalf) {
    // Two boxes: {10, 50} and {100, 200}; the second is wider and splits next,
    // its upper half appended at the end.
    EXPECT_EQ(medianCut(reds({200, 10, 100, 50}), 2), reds({30, 150}));
    EXPECT_EQ(medianCut(reds({200, 10, 100, 50}), 3), reds({30, 100, 200}));
    // Equal ranges: the earliest box splits first.
    EXPECT_EQ(medianCut(reds({0, 20, 100, 120}), 3), reds({0, 110, 20}));
}

TEST(GIFQuantizerMedianCut, SortIsStableAndMeansTruncate) {
    // Red is widest (9 vs 8); the two samples with red 5 keep their order, so
    // (5, 8, 0) stays in the lower half.
    const std::vector<RGB> samples = {{0, 0, 0}, {5, 8, 0}, {5, 0, 0}, {9, 0, 0}};
    EXPECT_EQ(medianCut(samples, 2), (Palette{{2, 4, 0}, {7, 0, 0}}));
}

TEST(GIFQuantizerMedianCut, StopsOnUniformBoxesAndRemovesDuplicates) {
    EXPECT_EQ(medianCut(reds({0, 255, 0, 255, 255, 0}), 256), reds({0, 255}));
    // Both halves average to black once truncated.
    const std::vector<RGB> samples = {{0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
    EXPECT_EQ(medianCut(samples, 2), (Palette{{0, 0, 0}}));
    EXPECT_EQ(medianCut({}, 16), kBlackWhite);
}

TEST(GIFQuantizerPalette, ColourCountIsClampedAndNeverEmpty) {
    const Image many = test::patternImage(64, 64);  // 4096 distinct colours
    EXPECT_EQ(buildPalette({many}, 1).size(), 2u);
    EXPECT_EQ(buildPalette({many}, -5).size(), 2u);
    EXPECT_EQ(buildPalette({many}, 1000).size(), 256u);
    EXPECT_EQ(buildPalette({}, 64), kBlackWhite);
    EXPECT_EQ(buildPalette({Image()}, 64), kBlackWhite);

    const Palette single = buildPalette({test::solidImage(8, 8, QColor(10, 20, 30))}, 256);
    EXPECT_EQ(single, (Palette{{10, 20, 30}}));
    const Lookup lookup = buildLookup(single);
    EXPECT_EQ(std::set<uint8_t>(lookup.begin(), lookup.end()), std::set<uint8_t>{0});
}

TEST(GIFQuantizerPalette, TransparencyIsSeenOverWhite) {
    const Palette palette = buildPalette(
        {test::solidImage(4, 4, QColor(0, 0, 0, 0)), test::solidImage(4, 4, Qt::black)}, 8);
    EXPECT_EQ(palette, kBlackWhite);
}

TEST(GIFQuantizerLookup, NearestColourWithLowestIndexOnTies) {
    // Slot 0's centre (4, 4, 4) is equally far from both colours.
    EXPECT_EQ(buildLookup({{0, 0, 0}, {8, 8, 8}})[0], 0);
    EXPECT_EQ(buildLookup({{8, 8, 8}, {0, 0, 0}})[0], 0);
    const Lookup lookup = buildLookup({{0, 0, 0}, {8, 8, 8}, {250, 0, 0}});
    EXPECT_EQ(lookup[size_t(lookupSlot(12, 12, 12))], 1);
    EXPECT_EQ(lookup[size_t(lookupSlot(255, 0, 0))], 2);
    EXPECT_EQ(lookup.size(), size_t(kLookupSize));
}

TEST(GIFQuantizerDither, FloydSteinbergOnTinyImage) {
    // Grey 100 on black and white, full strength, worked by hand:
    // (0,0): v 100 -> black, error 100: 43.75 right, 31.25 and 6.25 below.
    // (1,0): v round(143.75) = 144 -> white, error -111: -20.8125 and -34.6875 below.
    // (0,1): v round(110.4375) = 110 -> black, error 110: 48.125 right.
    // (1,1): v round(100 - 28.4375 + 48.125) = 120 -> black.
    const Image grey = greyImage(2, 2, {100, 100, 100, 100});
    const Lookup lookup = buildLookup(kBlackWhite);
    const auto full = quantizeToIndices(grey, kBlackWhite, lookup, 1.0f);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->indices, (std::vector<uint8_t>{0, 1, 0, 0}));
    // Above 1 behaves as 1.
    EXPECT_EQ(quantizeToIndices(grey, kBlackWhite, lookup, 7.0f)->indices, full->indices);
    // A tenth of the error never reaches white; negative means none.
    EXPECT_EQ(quantizeToIndices(grey, kBlackWhite, lookup, 0.1f)->indices,
              (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(quantizeToIndices(grey, kBlackWhite, lookup, -1.0f)->indices,
              (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(GIFQuantizerDither, WidthOneKeepsOnlyTheShareBelow) {
    // Palette black and grey 104; width 1, so the 7/16 share has nowhere to
    // go and the pixel below gets 5/16 of the error.
    const Palette palette = {{0, 0, 0}, {104, 104, 104}};
    const Lookup lookup = buildLookup(palette);
    // (0,0): 96 -> cell centre 100 -> grey, error -8 -> below -2.5.
    // (0,1): 93.5 rounds to 94 -> cell centre 92 -> grey, error -10 -> below -3.125.
    // (0,2): 36.875 -> 37 -> black.
    const auto column = quantizeToIndices(greyImage(1, 3, {96, 96, 40}), palette, lookup, 1.0f);
    ASSERT_TRUE(column);
    EXPECT_EQ(column->indices, (std::vector<uint8_t>{1, 1, 0}));
    // (0,0): 40 -> black, error 40 -> below +12.5. (0,1): 45 alone would be
    // black (cell centre 44); 57.5 -> 58 (cell centre 60) is grey.
    const auto pushed = quantizeToIndices(greyImage(1, 2, {40, 45}), palette, lookup, 1.0f);
    ASSERT_TRUE(pushed);
    EXPECT_EQ(pushed->indices, (std::vector<uint8_t>{0, 1}));
}

TEST(GIFQuantizerQuantize, OpaquePaletteColoursAndWhiteForTransparency) {
    const Lookup lookup = buildLookup(kBlackWhite);
    const auto clear =
        quantize(test::solidImage(5, 3, QColor(0, 0, 0, 0)), kBlackWhite, lookup, 0.8f);
    ASSERT_TRUE(clear);
    ASSERT_EQ(clear->size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(clear->pixel(x, y), test::rgba(255, 255, 255));
        }
    }
    // A frame without pixels comes back as it is.
    const auto empty = quantize(Image(), kBlackWhite, lookup, 0.5f);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isNull());
}

TEST(GIFQuantizerQuantize, NoDitherMapsEveryOccurrenceAlike) {
    const Image pattern = test::patternImage(40, 40, 3);
    const Palette palette = buildPalette({pattern}, 16);
    const Lookup lookup = buildLookup(palette);
    const auto indexed = quantizeToIndices(pattern, palette, lookup, 0.0f);
    ASSERT_TRUE(indexed);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            EXPECT_EQ(indexed->indices[size_t(y * 40 + x)], lookup[size_t(lookupSlot(x, y, 3))]);
        }
    }
}

TEST(GIFQuantizerQuantize, StopsWhenCancelled) {
    CancelFlag cancel;
    cancel.cancel();
    const Image pattern = test::patternImage(20, 20);
    const Lookup lookup = buildLookup(kBlackWhite);
    EXPECT_FALSE(quantize(pattern, kBlackWhite, lookup, 1.0f, &cancel));
    EXPECT_FALSE(quantizeToIndices(pattern, kBlackWhite, lookup, 0.0f, &cancel));
}
