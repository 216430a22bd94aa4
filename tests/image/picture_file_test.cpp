#include "image/PictureFile.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <gtest/gtest.h>

namespace mirelo {
namespace {

QByteArray pngOf(int w, int h) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    picture.save(&buffer, "PNG");
    return bytes;
}

bool fits(QByteArray bytes, qint64 position = 0) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(position);
    const bool result = pngChunksFit(buffer);
    EXPECT_EQ(buffer.pos(), position) << "the device is left where it was";
    return result;
}

TEST(PictureFile, APngWhoseChunkClaimsMoreThanTheFileHoldsIsRefused) {
    const QByteArray png = pngOf(40, 30);
    EXPECT_TRUE(fits(png));
    EXPECT_TRUE(fits(png, 17));
    // Not a PNG: left for the decoder to judge. Cut inside a chunk: refused.
    EXPECT_TRUE(fits("GIF89a and more"));
    EXPECT_FALSE(fits(png.left(20)));

    // An ancillary chunk after IHDR whose length claims 1.6 GB.
    QByteArray claims = png;
    char length[4];
    qToBigEndian<quint32>(0x61746500u, length);
    const QByteArray huge =
        QByteArray(length, 4) + QByteArray("tEXt", 4) + QByteArray("date", 4) + QByteArray(4, 0);
    claims.insert(33, huge);  // 8 signature + 25 IHDR
    EXPECT_FALSE(fits(claims));

    // A chunk that runs just one byte past the end.
    QByteArray over = png;
    const qsizetype firstAfterHeader = 33;
    const quint32 own = qFromBigEndian<quint32>(over.constData() + firstAfterHeader);
    qToBigEndian<quint32>(quint32(own + over.size()), length);
    over.replace(firstAfterHeader, 4, QByteArray(length, 4));
    EXPECT_FALSE(fits(over));
}

}  // namespace
}  // namespace mirelo
