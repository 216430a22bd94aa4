#include "overlay/StickerLoader.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

class StickerLoaderTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QByteArray encoded(const char* format, int w = 30, int h = 20) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        test::patternImage(w, h)
            .qimage()
            .convertToFormat(QImage::Format_RGB32)
            .save(&buffer, format);
        return bytes;
    }

    QTemporaryDir dir;
};

// The CRC-32 that PNG chunks carry.
quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// A PNG chunk with its length and CRC.
QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray out;
    char length[4];
    qToBigEndian<quint32>(quint32(data.size()), length);
    out.append(length, 4);
    QByteArray body = QByteArray(type, 4) + data;
    out.append(body);
    char crc[4];
    qToBigEndian<quint32>(crc32(body), crc);
    out.append(crc, 4);
    return out;
}

TEST_F(StickerLoaderTest, LoadsPngAndJpegByContent) {
    const Image png = StickerLoader::load(write("a.png", encoded("PNG")));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(30, 20));
    EXPECT_EQ(png.pixel(7, 3), test::patternImage(30, 20).pixel(7, 3));
    EXPECT_EQ(StickerLoader::load(write("b.jpg", encoded("JPEG"))).size(), QSize(30, 20));
    // The name does not matter, the content does.
    EXPECT_FALSE(StickerLoader::load(write("c.jpeg", encoded("PNG"))).isNull());
}

TEST_F(StickerLoaderTest, RefusesOtherFormatsEvenWhenNamedPng) {
    EXPECT_TRUE(StickerLoader::load(write("gif.png", encoded("GIF"))).isNull());
    EXPECT_TRUE(StickerLoader::load(write("bmp.png", encoded("BMP"))).isNull());
    EXPECT_TRUE(StickerLoader::load(write("text.png", "not a picture at all\n")).isNull());
}

TEST_F(StickerLoaderTest, RefusesEmptyMissingAndNonFiles) {
    EXPECT_TRUE(StickerLoader::load(write("empty.png", QByteArray())).isNull());
    EXPECT_TRUE(StickerLoader::load(dir.filePath("missing.png")).isNull());
    EXPECT_TRUE(StickerLoader::load(dir.path()).isNull());
    EXPECT_TRUE(StickerLoader::load(QString()).isNull());
    EXPECT_TRUE(StickerLoader::load(QStringLiteral("/dev/zero")).isNull());
}

TEST_F(StickerLoaderTest, RefusesTruncatedAndCorruptPictures) {
    const QByteArray png = encoded("PNG", 200, 150);
    for (qsizetype cut : {qsizetype(8), qsizetype(30), png.size() / 2, png.size() - 13}) {
        EXPECT_TRUE(StickerLoader::load(write("cut.png", png.left(cut))).isNull()) << cut;
    }
    const QByteArray jpeg = encoded("JPEG", 200, 150);
    for (qsizetype cut : {qsizetype(2), qsizetype(200), jpeg.size() / 2, jpeg.size() - 2}) {
        EXPECT_TRUE(StickerLoader::load(write("cut.jpg", jpeg.left(cut))).isNull()) << cut;
    }
    QByteArray flipped = png;
    flipped[png.size() / 2] = char(flipped[png.size() / 2] ^ 0x5a);
    EXPECT_TRUE(StickerLoader::load(write("bad.png", flipped)).isNull());
}

TEST_F(StickerLoaderTest, RefusesAPictureClaimingFiftyThousandSquarePixels) {
    // A valid header for 50 000 x 50 000 RGBA followed by a little compressed
    // data: decoding it would need 10 GB.
    QByteArray header;
    char dims[8];
    qToBigEndian<quint32>(50000, dims);
    qToBigEndian<quint32>(50000, dims + 4);
    header.append(dims, 8);
    header.append(char(8));  // bit depth
    header.append(char(6));  // RGBA
    header.append(3, char(0));
    QByteArray zeros(50001 * 4, 0);
    const QByteArray idat = qCompress(zeros).mid(4);  // zlib stream without Qt's size prefix
    const QByteArray bomb = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
                            chunk("IDAT", idat) + chunk("IEND", {});
    EXPECT_TRUE(StickerLoader::load(write("bomb.png", bomb)).isNull());

    // The same trick with one side only: a 40000 x 1 strip.
    qToBigEndian<quint32>(40000, dims);
    qToBigEndian<quint32>(1, dims + 4);
    header.replace(0, 8, QByteArray(dims, 8));
    const QByteArray strip = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
                             chunk("IDAT", idat) + chunk("IEND", {});
    EXPECT_TRUE(StickerLoader::load(write("strip.png", strip)).isNull());
}

TEST_F(StickerLoaderTest, APhotoLargerThanTheFrameIsScaledDownOnLoad) {
    // 26 megapixels: over the whole-decode limit, so it used to be refused.
    QImage photo(5200, 5000, QImage::Format_RGB32);
    photo.fill(QColor(200, 120, 40));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(photo.save(&buffer, "jpeg"));
    photo = QImage();
    const QString path = write(QStringLiteral("phone.jpg"), jpeg);
    const StickerLoader::Loaded loaded = StickerLoader::load(path, QSize(1920, 1080));
    ASSERT_FALSE(loaded.image.isNull()) << int(loaded.failure);
    EXPECT_EQ(loaded.image.size(), QSize(1123, 1080));
    EXPECT_NEAR(qRed(loaded.image.qimage().pixel(500, 500)), 200, 4);
    // Without a bound it is too large, and says so.
    EXPECT_EQ(StickerLoader::load(path, QSize()).failure, StickerLoader::Failure::tooLarge);
    // A PNG larger than the frame is scaled down too.
    const QString png = write(QStringLiteral("big.png"), encoded("png", 400, 100));
    EXPECT_EQ(StickerLoader::load(png, QSize(200, 200)).image.size(), QSize(200, 50));
}

}  // namespace
}  // namespace mirelo
