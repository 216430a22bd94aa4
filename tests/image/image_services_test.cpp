#include "image/ImageServices.h"
#include "image/ImageTransforms.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <limits>

#include <QPainter>

using namespace mirelo;
using mirelo::test::patternImage;
using mirelo::test::rgba;
using mirelo::test::solidImage;

TEST(Image, ConvertsToStandardPremultipliedLayout) {
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(200, 100, 50, 255));
    argb.setPixel(1, 0, qRgba(200, 100, 0, 128));
    const Image image = Image::fromQImage(argb);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.qimage().format(), kStandardFormat);
    // Bytes in memory are R, G, B, A with premultiplied colour.
    EXPECT_EQ(image.pixel(0, 0), rgba(200, 100, 50, 255));
    const uint32_t half = image.pixel(1, 0);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&half);
    EXPECT_EQ(bytes[3], 128);
    EXPECT_NEAR(bytes[0], 100, 1);
    EXPECT_NEAR(bytes[1], 50, 1);
}

TEST(Image, NullAndZeroSizedInputsGiveNullImages) {
    EXPECT_TRUE(Image::fromQImage(QImage()).isNull());
    EXPECT_TRUE(ImageServices::createSurface(0, 10).isNull());
    EXPECT_TRUE(ImageServices::createSurface(10, -1).isNull());
    EXPECT_TRUE(ImageServices::createSurface(1 << 20, 1 << 20).isNull());
    EXPECT_TRUE(ImageServices::scaled(Image(), 10, 10).isNull());
    EXPECT_TRUE(ImageServices::scaled(solidImage(4, 4, Qt::red), 0, 3).isNull());
    EXPECT_TRUE(ImageServices::readBytes(Image()).empty());
    EXPECT_TRUE(ImageTransforms::rotated90(Image(), true).isNull());
    EXPECT_TRUE(ImageTransforms::flipped(Image(), false).isNull());
    EXPECT_EQ(Image().pixel(0, 0), 0u);
    EXPECT_EQ(solidImage(2, 2, Qt::red).pixel(5, -1), 0u);
}

TEST(ImageServices, NewSurfaceIsTransparentBlack) {
    const QImage surface = ImageServices::createSurface(3, 2);
    ASSERT_FALSE(surface.isNull());
    EXPECT_EQ(surface.format(), kStandardFormat);
    const Image image = ImageServices::imageFromSurface(surface);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(image.pixel(x, y), 0u);
        }
    }
}

TEST(ImageServices, ReadBytesIsTightTopRowFirstRGBA) {
    const Image image = patternImage(5, 3);
    const std::vector<uint8_t> bytes = ImageServices::readBytes(image);
    ASSERT_EQ(bytes.size(), 5u * 3u * 4u);
    // Row 2, column 4: R = x, G = y, opaque.
    const size_t at = (2 * 5 + 4) * 4;
    EXPECT_EQ(bytes[at + 0], 4);
    EXPECT_EQ(bytes[at + 1], 2);
    EXPECT_EQ(bytes[at + 3], 255);
    const Image back = ImageServices::fromBytes(bytes.data(), 5, 3, 5 * 4);
    EXPECT_EQ(ImageServices::readBytes(back), bytes);
    EXPECT_TRUE(ImageServices::fromBytes(bytes.data(), 5, 3, 4).isNull());
}

TEST(ImageServices, SubImageClipsAndSharesPixels) {
    const Image source = patternImage(200, 100);
    const Image sub = ImageServices::subImage(source, QRect(10, 20, 101, 51));
    ASSERT_EQ(sub.size(), QSize(101, 51));
    EXPECT_TRUE(sub.sharesPixelsWith(source));
    EXPECT_EQ(sub.pixel(0, 0), source.pixel(10, 20));
    EXPECT_EQ(sub.pixel(100, 50), source.pixel(110, 70));

    // Reaching past the edges is clipped to the image.
    const Image clipped = ImageServices::subImage(source, QRect(150, 80, 100, 100));
    ASSERT_EQ(clipped.size(), QSize(50, 20));
    EXPECT_EQ(clipped.pixel(49, 19), source.pixel(199, 99));

    EXPECT_TRUE(ImageServices::subImage(source, QRect(300, 0, 10, 10)).isNull());
    EXPECT_TRUE(ImageServices::subImage(source, QRect(5, 5, 0, 10)).isNull());
}

TEST(ImageServices, SubImageOutlivesItsSourceAndSurvivesWrites) {
    Image sub;
    uint32_t expected = 0;
    {
        const Image source = patternImage(64, 64);
        expected = source.pixel(33, 17);
        sub = ImageServices::subImage(source, QRect(32, 16, 8, 8));
    }
    EXPECT_EQ(sub.pixel(1, 1), expected);
    // Drawing on a copy of the view must not write into shared pixels.
    QImage copy = sub.qimage();
    copy.fill(Qt::black);
    EXPECT_EQ(sub.pixel(1, 1), expected);
}

TEST(ImageServices, IntegralRectRoundsOutward) {
    EXPECT_EQ(ImageServices::integralRect(QRectF(10.4, 20.6, 100.2, 50)), QRect(10, 20, 101, 51));
    EXPECT_EQ(ImageServices::integralRect(QRectF(-0.5, 0, 1, 1)), QRect(-1, 0, 2, 1));
    EXPECT_EQ(ImageServices::integralRect(QRectF(3, 3, 0, 0)), QRect(3, 3, 0, 0));

    // Huge and infinite rectangles still cover what they cover, in int range.
    const double inf = std::numeric_limits<double>::infinity();
    for (const QRectF& huge : {QRectF(-1e12, -1e12, 2e12, 2e12), QRectF(-1e300, 0, inf, 1e300),
                               QRectF(-1e9, 5, 3e9, inf)}) {
        const QRect r = ImageServices::integralRect(huge);
        EXPECT_TRUE(r.contains(QRect(-1000, 5, 2000, 1000))) << r.x() << "," << r.width();
        EXPECT_EQ(qint64(r.left()) + r.width(), qint64(r.right()) + 1);
    }
}

TEST(ImageServices, ScalingAveragesWhenShrinking) {
    // A 1-pixel black/white checkerboard shrunk by four must come out mid-grey,
    // not the black or white a nearest-neighbour pick would give.
    QImage checker = ImageServices::createSurface(64, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            checker.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
        }
    }
    const Image small = ImageServices::scaled(ImageServices::imageFromSurface(checker), 16, 16);
    ASSERT_EQ(small.size(), QSize(16, 16));
    const auto* px = reinterpret_cast<const uint8_t*>(small.constScanLine(8)) + 8 * 4;
    EXPECT_NEAR(px[0], 128, 12);
    EXPECT_EQ(px[3], 255);
}

TEST(ImageServices, DrawnTransformedMovesPixels) {
    const Image source = solidImage(4, 4, Qt::red);
    const Image moved =
        ImageServices::drawnTransformed(source, QSize(8, 4), QTransform::fromTranslate(4, 0));
    ASSERT_EQ(moved.size(), QSize(8, 4));
    EXPECT_EQ(moved.pixel(1, 1), 0u);
    EXPECT_EQ(moved.pixel(6, 1), rgba(255, 0, 0));
}
