#include "overlay/StickerLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace mirelo {

namespace {

// libjpeg pads a truncated scan with grey and only warns, so a cut-off JPEG
// would decode "successfully". Every complete file ends its last scan (SOS,
// FF DA) with an end-of-image marker (FF D9); inside entropy-coded data an FF
// byte is always followed by 00 or a restart marker, so FF D9 cannot occur
// there by chance.
bool jpegIsComplete(const QByteArray& data) {
    const qsizetype lastScan = data.lastIndexOf(QByteArrayView("\xFF\xDA", 2));
    const qsizetype lastEnd = data.lastIndexOf(QByteArrayView("\xFF\xD9", 2));
    return lastScan >= 0 && lastEnd > lastScan;
}

}  // namespace

QStringList StickerLoader::nameFilters() {
    return {QStringLiteral("*.png"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")};
}

Image StickerLoader::load(const QString& path) {
    const QFileInfo info(path);
    // A device or pipe named .png could be endless; only plain files.
    if (path.isEmpty() || !info.isFile()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const qint64 size = file.size();
    if (size <= 0 || size > kMaxFileBytes) {
        return {};
    }
    QByteArray data = file.read(size);
    if (data.size() != size) {
        return {};
    }
    return decode(std::move(data));
}

Image StickerLoader::decode(QByteArray data) {
    if (data.isEmpty() || data.size() > kMaxFileBytes) {
        return {};
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        return {};
    }
    if (format == "jpeg" && !jpegIsComplete(data)) {
        return {};
    }
    const QSize claimed = reader.size();
    if (!claimed.isValid() || claimed.width() < 1 || claimed.height() < 1 ||
        claimed.width() > kMaxSide || claimed.height() > kMaxSide ||
        qint64(claimed.width()) * claimed.height() > kMaxPixels) {
        return {};
    }
    // The picture's claimed size is checked above; the reader's own
    // allocation limit (128 MB unless the application changes it) stays as a
    // second guard for anything a decoder allocates beyond the picture.
    // A photo is shown the way up its camera recorded.
    reader.setAutoTransform(true);
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        return {};
    }
    return Image::fromQImage(picture);
}

}  // namespace mirelo
