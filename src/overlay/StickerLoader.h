#pragma once

#include "image/Image.h"

#include <QString>
#include <QStringList>

// Loads the picture of a sticker from a file the user chose. Only PNG and
// JPEG (recognised by their content, not their name) are accepted. Anything
// else, and any file that is unreadable, empty, truncated, corrupt or too
// large to hold, gives a null Image and a one-line reason: the caller then
// changes nothing.
namespace mirelo::StickerLoader {

// Limits checked before any pixel is decoded. The picture's own header gives
// its size, so a small file that claims a huge picture costs nothing.
inline constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
inline constexpr int kMaxSide = 32768;
inline constexpr qint64 kMaxPixels = 25'000'000;
// A JPEG is decoded scaled down (by the decoder, in steps of 1/2, 1/4, 1/8)
// when it is larger than asked, so a photo up to this size is accepted.
inline constexpr qint64 kMaxScaledJpegPixels = 400'000'000;

// File-name patterns for the open dialog.
QStringList nameFilters();

// Why a picture cannot be used.
enum class Failure {
    none,
    unreadable,   // the file cannot be read
    notAPicture,  // neither PNG nor JPEG
    broken,       // damaged or cut off
    tooLarge,     // too many pixels to use
};

struct Loaded {
    Image image;  // null on failure
    Failure failure = Failure::none;
};

// The picture, scaled down to fit inside `bound` (keeping its proportions)
// when it is larger; an invalid bound keeps the picture's own size.
Loaded load(const QString& path, QSize bound);

Image load(const QString& path);

// The same checks and decoding over a file's bytes already read.
Loaded decode(QByteArray data, QSize bound = QSize());

}  // namespace mirelo::StickerLoader
