#include "overlay/StickerLoader.h"

#include "image/PictureFile.h"

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
    return load(path, QSize()).image;
}

StickerLoader::Loaded StickerLoader::load(const QString& path, QSize bound) {
    const QFileInfo info(path);
    // A device or pipe named .png could be endless; only plain files.
    if (path.isEmpty() || !info.isFile()) {
        return {{}, Failure::unreadable};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {{}, Failure::unreadable};
    }
    const qint64 size = file.size();
    if (size <= 0) {
        return {{}, Failure::broken};
    }
    if (size > kMaxFileBytes) {
        return {{}, Failure::tooLarge};
    }
    QByteArray data = file.read(size);
    if (data.size() != size) {
        return {{}, Failure::unreadable};
    }
    return decode(std::move(data), bound);
}

StickerLoader::Loaded StickerLoader::decode(QByteArray data, QSize bound) {
    if (data.isEmpty()) {
        return {{}, Failure::broken};
    }
    if (data.size() > kMaxFileBytes) {
        return {{}, Failure::tooLarge};
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        return {{}, Failure::notAPicture};
    }
    if (format == "jpeg" && !jpegIsComplete(data)) {
        return {{}, Failure::broken};
    }
    if (format == "png" && !pngChunksFit(buffer)) {
        return {{}, Failure::broken};
    }
    const QSize claimed = reader.size();
    if (!claimed.isValid() || claimed.width() < 1 || claimed.height() < 1) {
        return {{}, Failure::broken};
    }
    // A photo is shown the way up its camera recorded.
    reader.setAutoTransform(true);
    // The size wanted: inside the bound (turned like the picture when the
    // camera turned it) and, for a JPEG decoded scaled, within the pixel
    // limit; a PNG is always decoded whole, so it must be within the limits.
    const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    QSize target = claimed;
    if (bound.isValid() && !bound.isEmpty()) {
        const QSize box = turned ? bound.transposed() : bound;
        if (claimed.width() > box.width() || claimed.height() > box.height()) {
            target = claimed.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        }
    }
    const qint64 pixels = qint64(claimed.width()) * claimed.height();
    if (format == "jpeg" && target != claimed) {
        if (pixels > kMaxScaledJpegPixels || claimed.width() > kMaxSide ||
            claimed.height() > kMaxSide) {
            return {{}, Failure::tooLarge};
        }
        reader.setScaledSize(target);
    } else if (claimed.width() > kMaxSide || claimed.height() > kMaxSide || pixels > kMaxPixels) {
        return {{}, Failure::tooLarge};
    }
    // The reader's own allocation limit (128 MB unless the application
    // changes it) stays as a second guard for anything a decoder allocates.
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        return {{}, Failure::broken};
    }
    if (target != claimed && format != "jpeg") {
        picture = picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return {Image::fromQImage(picture), {}};
}

}  // namespace mirelo
