// Pixels converted from the X server's layout, and images made of shared bands.
#include "image/BandedFrame.h"
#include "image/Image.h"
#include "image/ImageServices.h"
#include "image/PixelLayout.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
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
    const Image three = test::patternImage(5, 3);
    EXPECT_TRUE(Image::stacked({}).isNull());
    EXPECT_TRUE(Image::stacked({four, Image()}).isNull());
    EXPECT_TRUE(Image::stacked({four, test::patternImage(6, 4)}).isNull());
    EXPECT_TRUE(Image::stacked({four, four, three, four}).isNull());  // the middle ones differ
    EXPECT_TRUE(Image::stacked({four, four, test::patternImage(5, 5)}).isNull());  // last higher
    EXPECT_EQ(Image::stacked({four}).constScanLine(0), four.constScanLine(0));

    // A first band of another height, as a cut leaves it.
    const Image cut = Image::stacked({three, four, four, test::patternImage(5, 2, 9)});
    ASSERT_EQ(cut.size(), QSize(5, 13));
    EXPECT_EQ(cut.constScanLine(2), three.constScanLine(2));
    EXPECT_EQ(cut.constScanLine(3), four.constScanLine(0));
    EXPECT_EQ(cut.constScanLine(10), four.constScanLine(3));
    EXPECT_EQ(cut.pixel(4, 12), test::patternImage(5, 2, 9).pixel(4, 1));
}

TEST(StackedImage, PartsShareTheBandsPixels) {
    std::vector<Image> bands;
    for (int i = 0; i < 5; ++i)
        bands.push_back(test::patternImage(40, 16, static_cast<uint8_t>(i)));
    bands.push_back(test::patternImage(40, 6, 5));
    const Image image = Image::stacked(bands);
    ASSERT_EQ(image.size(), QSize(40, 86));

    const QRect rect(3, 10, 30, 50);  // from inside the first band to inside the fourth
    const Image part = ImageServices::subImage(image, rect);
    ASSERT_EQ(part.size(), rect.size());
    const QImage whole = image.qimage();
    for (int y = 0; y < rect.height(); ++y) {
        ASSERT_EQ(
            std::memcmp(part.constScanLine(y), whole.constScanLine(rect.y() + y) + rect.x() * 4,
                        size_t(rect.width()) * 4),
            0)
            << "row " << y;
    }
    EXPECT_EQ(part.constScanLine(0), bands[0].constScanLine(10) + 3 * 4);
    EXPECT_EQ(part.constScanLine(49), bands[3].constScanLine(11) + 3 * 4);
    // A part inside one band is that band's view.
    const Image inner = ImageServices::subImage(image, QRect(0, 33, 40, 10));
    EXPECT_TRUE(inner.sharesPixelsWith(bands[2]));
    EXPECT_EQ(inner.pixel(0, 0), bands[2].pixel(0, 1));
}

namespace {

// A stream of 8 x 40 frames (three bands: 16, 16 and 8 rows) kept as 32-bit words, built into
// banded frames the way a capture backend builds them: `before` holds the rows the bands show.
struct Stream {
    static constexpr int kWidth = 8;
    static constexpr int kHeight = 40;
    std::vector<uint32_t> now = std::vector<uint32_t>(kWidth * kHeight, bgrx(10, 20, 30));
    std::vector<uint32_t> before = now;
    BandedFrame bands;

    Image next(std::optional<QRegion> damage = std::nullopt) {
        bands.begin(QSize(kWidth, kHeight), std::move(damage));
        const auto rows = [](const std::vector<uint32_t>& words) {
            return [&words](int y) { return words.data() + static_cast<size_t>(y) * kWidth; };
        };
        for (int b = 0; b < bands.count(); ++b) {
            const QRect area = bands.area(b);
            if (bands.firstChangedRow(b, rows(now), rows(before)) > area.bottom()) {
                bands.share(b);
                continue;
            }
            QImage* band = bands.write(b);
            for (int y = 0; y < area.height(); ++y) {
                PixelLayout::bgrxToStandard(rows(now)(area.top() + y), band->scanLine(y), kWidth);
            }
            std::copy_n(rows(now)(area.top()), area.height() * kWidth,
                        before.begin() + area.top() * kWidth);
        }
        return bands.finish();
    }
};

bool sameBand(const Image& a, const Image& b, int band) {
    return a.bands()[static_cast<size_t>(band)].cacheKey() ==
           b.bands()[static_cast<size_t>(band)].cacheKey();
}

}  // namespace

TEST(BandedFrame, SharesUnchangedBandsAndTrustsDamageUntilTheBandsTurn) {
    Stream stream;
    const Image first = stream.next();
    ASSERT_EQ(first.bands().size(), 3u);
    EXPECT_EQ(first.bands()[2].height(), 8);

    // A change in the middle band makes that band anew; the others are the first frame's.
    stream.now[20 * Stream::kWidth + 3] = bgrx(200, 0, 0);
    const Image second = stream.next();
    EXPECT_TRUE(sameBand(first, second, 0));
    EXPECT_FALSE(sameBand(first, second, 1));
    EXPECT_TRUE(sameBand(first, second, 2));
    EXPECT_EQ(second.pixel(3, 20), rgba(200, 0, 0));

    // A change the damage leaves out is not seen until the band's turn to be compared comes,
    // within kCheckEvery frames; a damaged change is seen at once.
    stream.now[2 * Stream::kWidth + 1] = bgrx(0, 200, 0);
    stream.now[36 * Stream::kWidth + 7] = bgrx(0, 0, 200);
    Image frame = stream.next(QRegion(7, 36, 1, 1));
    EXPECT_EQ(frame.pixel(7, 36), rgba(0, 0, 200));
    int frames = 1;
    while (frame.pixel(1, 2) != rgba(0, 200, 0) && frames <= BandedFrame::kCheckEvery) {
        frame = stream.next(QRegion());
        ++frames;
    }
    EXPECT_EQ(frame.pixel(1, 2), rgba(0, 200, 0));
    EXPECT_LE(frames, BandedFrame::kCheckEvery);
}

TEST(BandedFrame, ANewSizeOrResetSharesNothing) {
    Stream stream;
    const Image first = stream.next();
    const Image same = stream.next();
    EXPECT_TRUE(sameBand(first, same, 0));
    stream.bands.reset();
    const Image afterReset = stream.next();
    EXPECT_FALSE(sameBand(same, afterReset, 0));

    stream.bands.begin(QSize(Stream::kWidth, 17));
    EXPECT_FALSE(stream.bands.hasPrevious());
    EXPECT_EQ(stream.bands.count(), 2);
    EXPECT_EQ(stream.bands.area(1), QRect(0, 16, Stream::kWidth, 1));
    // A band never given fails the frame, and the next one shares nothing.
    stream.bands.share(0);
    EXPECT_TRUE(stream.bands.finish().isNull());
    EXPECT_FALSE(stream.bands.hasPrevious());
}

TEST(BandedFrame, CutsAnyFrameIntoBandsOfItsRows) {
    const Image plain = test::patternImage(5, 35);
    const std::vector<Image> cut = BandedFrame::cut(plain);
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[2].height(), 3);
    EXPECT_TRUE(cut[1].sharesPixelsWith(plain));
    EXPECT_EQ(cut[1].pixel(4, 2), plain.pixel(4, 18));
    // A frame already in such bands is cut into its own bands.
    const Image stacked = Image::stacked(cut);
    const std::vector<Image> again = BandedFrame::cut(stacked);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].cacheKey(), cut[0].cacheKey());
    EXPECT_TRUE(BandedFrame::cut(Image()).empty());
}
