#pragma once

// Shared by the decoder targets: the input written to a file and every frame of it decoded.
#include "FuzzSupport.h"
#include "import/AnimationDecoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mirelo::fuzz {

// Decodes the bytes as a file through `open`, at most `maxFrames` frames. A decoder that was
// made must give frames of its size, and a failure must name the file.
template <typename Open>
void decodeFile(const uint8_t* data, size_t size, const char* name, Open open, int maxFrames = 64) {
    ensureApplication();
    static QTemporaryDir folder(QFile::exists(QStringLiteral("/dev/shm"))
                                    ? QStringLiteral("/dev/shm/mirelo-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/mirelo-fuzz-XXXXXX"));
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        __builtin_trap();
    }
    file.close();
    OpenError error;
    std::unique_ptr<AnimationDecoder> decoder = open(path, &error);
    if (!decoder) {
        if (error.path != path) {
            __builtin_trap();
        }
        return;
    }
    if (!openableSize(decoder->size())) {
        __builtin_trap();
    }
    for (int i = 0; i < maxFrames; ++i) {
        std::optional<DecodedFrame> frame = decoder->next();
        if (!frame) {
            break;
        }
        if (frame->image.isNull() || !(frame->delay > 0)) {
            __builtin_trap();
        }
    }
}

}  // namespace mirelo::fuzz
