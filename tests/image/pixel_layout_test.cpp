// Pixels converted from the X server's layout, and images made of shared bands.
#include "image/Image.h"
#include "image/PixelLayout.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace mirelo;
using mirelo::test::rgba;

namespace {

// Words as the X server stores them: 0xXXRRGGBB with a junk fourth byte.
uint32_t bgrx(uint8_t r, uint8_t g, uint8_t b, uint8_t junk = 0x5a) {
    return (uint32_t{junk} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

uint32_t patternWord(int i) {
    return bgrx(static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i * 5 + 1),
                static_cast<uint8_t>(i * 7 + 2), static_cast<uint8_t>(i));
}

}  // namespace

TEST(PixelLayout, ConvertsEveryCountAlignmentAndStoreKindInPlaceOrNot) {
    std::vector<uint32_t> in(64);
    for (int i = 0; i < 64; ++i)
        in[static_cast<size_t>(i)] = patternWord(i);
    for (auto stores : {PixelLayout::Stores::cached, PixelLayout::Stores::streaming}) {
        for (int offset = 0; offset < 8; ++offset) {
            for (int count = 0; count <= 40; ++count) {
                std::vector<uint8_t> out(64 * 4 + 32, 0xee);
                PixelLayout::bgrxToStandard(in.data(), out.data() + offset, count, stores);
                std::vector<uint32_t> inPlace(in.begin(), in.begin() + count);
                PixelLayout::bgrxToStandard(
                    inPlace.data(), reinterpret_cast<uint8_t*>(inPlace.data()), count, stores);
                for (int i = 0; i < count; ++i) {
                    const uint32_t w = in[static_cast<size_t>(i)];
                    const uint8_t want[4] = {static_cast<uint8_t>(w >> 16),
                                             static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w),
                                             255};
                    ASSERT_EQ(0, std::memcmp(out.data() + offset + i * 4, want, 4))
                        << "offset " << offset << " count " << count << " pixel " << i;
                    ASSERT_EQ(0, std::memcmp(&inPlace[static_cast<size_t>(i)], want, 4));
                }
                // Nothing written past the last pixel.
                EXPECT_EQ(out[static_cast<size_t>(offset + count * 4)], 0xee);
            }
        }
    }
}

TEST(StackedImage, ReadsRowsFromSharedBandsAndJoinsOnlyForASurface) {
    const Image top = test::patternImage(7, 4, 1);
    const Image middle = test::patternImage(7, 4, 2);
    const Image bottom = test::patternImage(7, 3, 3);
    const Image image = Image::stacked({top, middle, bottom});
    ASSERT_EQ(image.size(), QSize(7, 11));
    // Rows come from the bands themselves: nothing is copied.
    EXPECT_EQ(image.constScanLine(0), top.constScanLine(0));
    EXPECT_EQ(image.constScanLine(5), middle.constScanLine(1));
    EXPECT_EQ(image.constScanLine(10), bottom.constScanLine(2));
    EXPECT_EQ(image.constScanLine(11), nullptr);
    EXPECT_EQ(image.constScanLine(-1), nullptr);
    EXPECT_TRUE(top.sharesPixelsWith(image));
    EXPECT_FALSE(image.sharesPixelsWith(top));

    const QImage surface = image.qimage();
    ASSERT_EQ(surface.size(), QSize(7, 11));
    EXPECT_EQ(surface.format(), kStandardFormat);
    for (int y = 0; y < 11; ++y) {
        const Image& band = y < 4 ? top : y < 8 ? middle : bottom;
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(image.pixel(x, y), band.pixel(x, y % 4)) << x << "," << y;
            ASSERT_EQ(
                std::memcmp(surface.constScanLine(y) + x * 4, image.constScanLine(y) + x * 4, 4),
                0);
        }
    }
    // Copies are one image for caches; another stacking of the same bands is not.
    const Image copy = image;
    EXPECT_EQ(copy.cacheKey(), image.cacheKey());
    EXPECT_TRUE(copy.sharesPixelsWith(image));
    const Image again = Image::stacked({top, middle, bottom});
    EXPECT_NE(again.cacheKey(), image.cacheKey());
    EXPECT_NE(again.cacheKey(), top.cacheKey());
}

TEST(StackedImage, RefusesBandsThatDoNotFitTogether) {
    const Image four = test::patternImage(5, 4);
    EXPECT_TRUE(Image::stacked({}).isNull());
    EXPECT_TRUE(Image::stacked({four, Image()}).isNull());
    EXPECT_TRUE(Image::stacked({four, test::patternImage(6, 4)}).isNull());
    EXPECT_TRUE(
        Image::stacked({test::patternImage(5, 3), four}).isNull());  // only the last is lower
    EXPECT_TRUE(Image::stacked({four, test::patternImage(5, 5)}).isNull());
    EXPECT_EQ(Image::stacked({four}).constScanLine(0), four.constScanLine(0));
}
