#include "image/ImageTransforms.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

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
