#include "image/PictureFile.h"

#include <QByteArray>
#include <QIODevice>

#include <cstring>

namespace mirelo {

namespace {

bool chunksFit(QIODevice& device) {
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (!device.seek(0)) {
        return true;  // a sequential device: the decoder reports what it finds
    }
    const QByteArray head = device.read(8);
    if (head.size() < 8 || std::memcmp(head.constData(), kSignature, 8) != 0) {
        return true;  // not a PNG
    }
    const qint64 size = device.size();
    qint64 at = 8;
    while (at + 12 <= size) {
        if (!device.seek(at)) {
            return false;
        }
        const QByteArray chunk = device.read(8);
        if (chunk.size() < 8) {
            return false;
        }
        const auto* bytes = reinterpret_cast<const uchar*>(chunk.constData());
        const qint64 length = (qint64(bytes[0]) << 24) | (qint64(bytes[1]) << 16) |
                              (qint64(bytes[2]) << 8) | qint64(bytes[3]);
        if (length > size - at - 12) {
            return false;
        }
        if (chunk.mid(4, 4) == "IEND") {
            return true;
        }
        at += 12 + length;
    }
    return true;  // a short tail: the decoder reports it
}

}  // namespace

bool pngChunksFit(QIODevice& device) {
    const qint64 position = device.pos();
    const bool fit = chunksFit(device);
    device.seek(position);
    return fit;
}

}  // namespace mirelo
