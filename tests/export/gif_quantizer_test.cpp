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
    EXPECT_FALSE(quantize(pattern, kBlackWhite, lookup, 1.0f, cancel));
    EXPECT_FALSE(quantizeToIndices(pattern, kBlackWhite, lookup, 0.0f, cancel));
}

namespace {

// The diffusion written out plainly, one pixel and channel at a time. With
// `previous`, pixels equal to it are left out (index 0): they take no error
// and pass none on.
std::vector<uint8_t> referenceQuantize(const Image& image, const Palette& palette,
                                       const Lookup& lookup, float s,
                                       const Image* previous = nullptr) {
    const int w = image.width(), h = image.height();
    std::vector<float> cur(size_t(w + 2) * 3, 0.0f), next(size_t(w + 2) * 3, 0.0f);
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t px = image.pixel(x, y);
            if (previous && previous->pixel(x, y) == px) {
                out.push_back(0);
                continue;
            }
            int v[3];
            for (int c = 0; c < 3; ++c) {
                const float sum = float(px >> (8 * c) & 0xff) + cur[size_t(x + 1) * 3 + size_t(c)];
                v[c] = std::clamp(int(std::round(sum)), 0, 255);
            }
            const uint8_t index = lookup[size_t(lookupSlot(v[0], v[1], v[2]))];
            out.push_back(index);
            const int p[3] = {palette[index].r, palette[index].g, palette[index].b};
            for (int c = 0; c < 3; ++c) {
                const float e = s * float(v[c] - p[c]);
                if (x + 1 < w) {
                    cur[size_t(x + 2) * 3 + size_t(c)] += (e * 7.0f) * 0.0625f;
                }
                next[size_t(x) * 3 + size_t(c)] += (e * 3.0f) * 0.0625f;
                next[size_t(x + 1) * 3 + size_t(c)] += (e * 5.0f) * 0.0625f;
                next[size_t(x + 2) * 3 + size_t(c)] += (e * 1.0f) * 0.0625f;
            }
        }
        std::fill(cur.begin(), cur.end(), 0.0f);
        std::swap(cur, next);
    }
    return out;
}

}  // namespace

namespace {

// Flat areas whose colour is in the palette, next to noise and gradients;
// `changes` adds that many pixels of other colours at spread-out places.
Image mixedContent(int changes = 0) {
    QImage surface = ImageServices::createSurface(97, 61);
    uint32_t seed = 12345;
    for (int y = 0; y < 61; ++y) {
        for (int x = 0; x < 97; ++x) {
            seed = seed * 1103515245u + 12345u;
            const bool flat = (x / 16 + y / 16) % 2 == 0;
            surface.setPixel(x, y,
                             flat ? test::rgba(30, 30, 30)
                                  : test::rgba(uint8_t(x * 2 + (seed >> 28)), uint8_t(y * 4),
                                               uint8_t(seed >> 24)));
        }
    }
    for (int k = 0; k < changes; ++k) {
        const int x = (k * 37) % 97, y = (k * 23 + k / 5) % 61;
        surface.setPixel(x, y, test::rgba(uint8_t(200 - k), uint8_t(k * 3), 90));
    }
    return ImageServices::imageFromSurface(std::move(surface));
}

}  // namespace

TEST(GIFQuantizerDither, MatchesThePlainDiffusionOnMixedContent) {
    const Image image = mixedContent();
    const Palette palette = buildPalette({image}, 40);
    const Lookup lookup = buildLookup(palette);
    for (float s : {1.0f, 0.8f, 0.33f, 0.1f}) {
        const auto indexed = quantizeToIndices(image, palette, lookup, s);
        ASSERT_TRUE(indexed);
        EXPECT_EQ(indexed->indices, referenceQuantize(image, palette, lookup, s)) << s;
        EXPECT_TRUE(indexed->still.empty());
    }
}

TEST(GIFQuantizerDither, PortableAndVectorPathsGiveTheSameIndices) {
    using detail::DiffusionPath;
    const Image before = mixedContent();
    const Palette palette = buildPalette({before}, 40);
    const Lookup lookup = buildLookup(palette);
    // 97 x 61 leaves a last row without a partner and a row tail shorter than
    // a vector; 33 x 8 is another size, so the frame before is not used.
    for (const Image& image : {before, mixedContent(60), test::patternImage(33, 8, 5)}) {
        for (const Image* previous : {static_cast<const Image*>(nullptr), &before}) {
            for (float s : {1.0f, 0.45f, 0.1f}) {
                const auto portable = detail::quantizeToIndices(
                    image, palette, lookup, s, DiffusionPath::portable, {}, previous);
                const auto vector = detail::quantizeToIndices(image, palette, lookup, s,
                                                              DiffusionPath::best, {}, previous);
                ASSERT_TRUE(portable && vector);
                EXPECT_EQ(portable->still, vector->still);
                EXPECT_EQ(portable->indices, vector->indices)
                    << image.width() << "x" << image.height() << " s " << s
                    << (previous ? " with the frame before" : "");
            }
        }
    }
}

TEST(GIFQuantizerDither, OnlyChangedPixelsAreMappedAndDiffused) {
    const Image before = mixedContent();
    const Palette palette = buildPalette({before}, 40);
    const Lookup lookup = buildLookup(palette);
    // A few scattered changes, a block, and a frame that differs everywhere.
    QImage blockSurface = before.qimage().copy();
    for (int y = 20; y < 35; ++y) {
        for (int x = 40; x < 61; ++x) {
            blockSurface.setPixel(x, y, test::rgba(uint8_t(x * 4), 120, uint8_t(y * 5)));
        }
    }
    const Image block = ImageServices::imageFromSurface(std::move(blockSurface));
    const Image everywhere = test::patternImage(97, 61, 7);
    for (const Image& after : {mixedContent(60), block, everywhere}) {
        for (float s : {1.0f, 0.8f, 0.0f}) {
            const auto indexed = quantizeToIndices(after, palette, lookup, s, {}, &before);
            ASSERT_TRUE(indexed);
            ASSERT_EQ(indexed->still.size(), indexed->indices.size());
            const std::vector<uint8_t> expected =
                referenceQuantize(after, palette, lookup, s, &before);
            for (int y = 0; y < 61; ++y) {
                for (int x = 0; x < 97; ++x) {
                    const size_t i = size_t(y) * 97 + size_t(x);
                    const bool still = before.pixel(x, y) == after.pixel(x, y);
                    ASSERT_EQ(indexed->still[i] != 0, still) << x << "," << y;
                    if (!still) {
                        ASSERT_EQ(indexed->indices[i], expected[i]) << x << "," << y << " " << s;
                    }
                }
            }
        }
    }
    // A frame that changes everywhere maps exactly as on its own, and
    // keepStill fills in the previous output only where the frame is still.
    const auto alone = quantizeToIndices(everywhere, palette, lookup, 0.8f);
    auto again = quantizeToIndices(everywhere, palette, lookup, 0.8f, {}, &before);
    ASSERT_TRUE(alone && again);
    const std::vector<uint8_t> previousOutput(again->indices.size(), 77);
    keepStill(*again, previousOutput.data());
    EXPECT_EQ(again->indices, alone->indices);
    EXPECT_TRUE(again->still.empty());
    auto same = quantizeToIndices(before, palette, lookup, 0.8f, {}, &before);
    ASSERT_TRUE(same);
    keepStill(*same, previousOutput.data());
    EXPECT_EQ(same->indices, previousOutput);
}
