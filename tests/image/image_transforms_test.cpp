#include "image/ImageServices.h"
#include "image/ImageTransforms.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace mirelo;
using mirelo::test::patternImage;

namespace {

// Checks every pixel of `out` against `source` through the inverse mapping.
template <typename Map>
void expectMapping(const Image& source, const Image& out, Map sourceToOut) {
    for (int j = 0; j < source.height(); ++j) {
        for (int i = 0; i < source.width(); ++i) {
            const QPoint p = sourceToOut(i, j);
            ASSERT_EQ(out.pixel(p.x(), p.y()), source.pixel(i, j))
                << "source pixel " << i << "," << j;
        }
    }
}

}  // namespace

TEST(ImageTransforms, QuarterTurnsMapEveryPixelExactly) {
    // Odd sizes and sizes past one tile catch off-by-one and tiling faults.
    for (const QSize size : {QSize(1, 1), QSize(3, 2), QSize(37, 70), QSize(640, 360)}) {
        const Image source = patternImage(size.width(), size.height(), 7);
        const int w = size.width(), h = size.height();

        const Image cw = ImageTransforms::rotated90(source, true);
        ASSERT_EQ(cw.size(), QSize(h, w));
        expectMapping(source, cw, [h](int i, int j) { return QPoint(h - 1 - j, i); });

        const Image ccw = ImageTransforms::rotated90(source, false);
        ASSERT_EQ(ccw.size(), QSize(h, w));
        expectMapping(source, ccw, [w](int i, int j) { return QPoint(j, w - 1 - i); });

        // There and back gives the source pixels exactly.
        const Image back = ImageTransforms::rotated90(cw, false);
        ASSERT_EQ(back.size(), size);
        expectMapping(source, back, [](int i, int j) { return QPoint(i, j); });
    }
}

TEST(ImageTransforms, FormerTopRowBecomesRightmostColumnWhenTurningClockwise) {
    const Image source = patternImage(640, 360);
    const Image cw = ImageTransforms::rotated90(source, true);
    for (int i = 0; i < 640; ++i) {
        ASSERT_EQ(cw.pixel(359, i), source.pixel(i, 0));
    }
}

TEST(ImageTransforms, MirrorsMapEveryPixelExactly) {
    const Image source = patternImage(200, 33, 3);
    const Image h = ImageTransforms::flipped(source, true);
    ASSERT_EQ(h.size(), source.size());
    expectMapping(source, h, [](int i, int j) { return QPoint(199 - i, j); });
    EXPECT_EQ(h.pixel(189, 5), source.pixel(10, 5));

    const Image v = ImageTransforms::flipped(source, false);
    expectMapping(source, v, [](int i, int j) { return QPoint(i, 32 - j); });

    const Image twice = ImageTransforms::flipped(h, true);
    expectMapping(source, twice, [](int i, int j) { return QPoint(i, j); });
}

TEST(ImageTransforms, ResultIsANewImageAndSourceIsUntouched) {
    const Image source = patternImage(16, 8);
    const uint32_t before = source.pixel(0, 0);
    const Image turned = ImageTransforms::rotated90(source, true);
    EXPECT_FALSE(turned.sharesPixelsWith(source));
    EXPECT_EQ(source.pixel(0, 0), before);
    EXPECT_EQ(turned.qimage().format(), kStandardFormat);
}

namespace {

using ImageTransforms::detail::TurnPath;

// An opaque image whose pixels all differ (up to 2^24 of them), so any pixel
// landing in the wrong place shows.
Image distinctImage(int width, int height) {
    std::vector<uint32_t> words(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t k = 0; k < words.size(); ++k) {
        words[k] = 0xff000000u | static_cast<uint32_t>(k);
    }
    return ImageServices::fromBytes(reinterpret_cast<const uint8_t*>(words.data()), width, height,
                                    qsizetype(width) * 4);
}

std::vector<uint32_t> words(const Image& image) {
    const std::vector<uint8_t> bytes = ImageServices::readBytes(image);
    std::vector<uint32_t> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

// The quarter turn done one pixel at a time, as rows of words.
std::vector<uint32_t> turnedByHand(const Image& image, bool clockwise) {
    const int w = image.width(), h = image.height();
    const std::vector<uint32_t> in = words(image);
    std::vector<uint32_t> out(in.size());
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const uint32_t p = in[size_t(j) * size_t(w) + size_t(i)];
            if (clockwise) {
                out[size_t(i) * size_t(h) + size_t(h - 1 - j)] = p;
            } else {
                out[size_t(w - 1 - i) * size_t(h) + size_t(j)] = p;
            }
        }
    }
    return out;
}

void expectTurnsMatchByHand(const Image& source, const std::string& what) {
    for (const TurnPath path : {TurnPath::Best, TurnPath::Vector128, TurnPath::Portable}) {
        for (const bool clockwise : {true, false}) {
            const Image turned = ImageTransforms::detail::rotated90(source, clockwise, path);
            ASSERT_EQ(turned.size(), source.size().transposed()) << what;
            ASSERT_EQ(words(turned), turnedByHand(source, clockwise))
                << what << " path " << int(path) << (clockwise ? " clockwise" : " counter");
        }
    }
}

}  // namespace

TEST(ImageTransforms, EveryTurnPathMatchesAPixelByPixelTurn) {
    // Sizes on both sides of the 8-pixel blocks and 16-pixel strips the turn
    // works in, down to single rows and columns.
    for (const int w : {1, 2, 7, 8, 9, 15, 16, 17, 24, 31, 40}) {
        for (const int h : {1, 3, 8, 9, 16, 23, 33}) {
            expectTurnsMatchByHand(distinctImage(w, h),
                                   std::to_string(w) + "x" + std::to_string(h));
        }
    }
    expectTurnsMatchByHand(distinctImage(1, 517), "1x517");
    expectTurnsMatchByHand(distinctImage(517, 1), "517x1");
    expectTurnsMatchByHand(distinctImage(1920, 1080), "1920x1080");
}

TEST(ImageTransforms, TurnsASubImageThatSharesItsSourcesPixels) {
    // An odd offset and a row stride wider than the view: reads must follow
    // the stride, stay inside the view, and may not be aligned.
    const Image whole = distinctImage(91, 67);
    const Image view = ImageServices::subImage(whole, QRect(3, 5, 41, 50));
    ASSERT_TRUE(view.sharesPixelsWith(whole));
    ASSERT_GT(view.qimage().bytesPerLine(), qsizetype(view.width()) * 4);
    const std::vector<uint32_t> before = words(whole);
    expectTurnsMatchByHand(view, "view");
    EXPECT_EQ(words(whole), before);
}
