#pragma once

#include "image/Image.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace mirelo::test {

// One frame of a GIF written by hand: `indices` (width x height of `rect`) into the local
// palette when given, else the global one.
struct GifFrameSpec {
    QRect rect;
    std::vector<uint8_t> indices;
    QList<QColor> localPalette;
    int disposal = 0;      // 0 unspecified, 1 keep, 2 background, 3 previous
    int transparent = -1;  // palette index, or none
    int centiseconds = 10;
    bool interlaced = false;
};

// Writes a GIF of `size` with a global palette through giflib; false on failure.
bool writeGif(const QString& path, QSize size, const QList<QColor>& globalPalette,
              const std::vector<GifFrameSpec>& frames);

// Runs ffmpeg with `arguments`; its standard output, or nothing when it fails or is missing.
std::optional<QByteArray> runFfmpeg(const QStringList& arguments);

// ffmpeg's decoding of every frame of `path` as straight RGBA bytes (one after another).
std::optional<QByteArray> ffmpegFrames(const QString& path);

}  // namespace mirelo::test
