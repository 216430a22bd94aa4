#pragma once

#include "capture/RecordingStore.h"

#include <QSize>
#include <QString>

namespace mirelo {

// What is wrong with a file that cannot be opened as frames.
enum class OpenProblem {
    cannotRead,     // missing, a folder without pictures, or no permission
    emptyFile,      // zero bytes
    unknownFormat,  // not a GIF, WebP, picture or video this build reads
    damaged,        // the format is known but the data is broken or cut short
    tooLarge,       // a side over kMaxOpenSide, more pixels than a surface holds, or a video
                    // picture over kMaxVideoPixels (then `limit` is that number)
    tooManyFrames,  // more frames than kMaxOpenFrames
    noFrames,       // a valid file without a single frame
    noVideoStream,  // a media file without a picture track
    unsupportedCodec,
    storeFailed,  // the frames could not be written to the cache (see storeError)
    cancelled,
};

// A file that could not be opened: which one, what is wrong, and the values the message
// needs. `detail` is the decoding library's own words, for logs and tools, never the whole
// message shown to a user.
struct OpenError {
    OpenProblem problem = OpenProblem::damaged;
    QString path;
    QSize size;             // the size claimed, for tooLarge
    qint64 limit = 0;       // the frame limit, for tooManyFrames; the pixel limit for tooLarge
    StoreError storeError;  // the store's failure, for storeFailed
    QString detail;
};

// No side of an opened animation may be longer than this.
inline constexpr int kMaxOpenSide = 32768;
// No picture of a video may have more pixels than this (8192 × 8192). Decoding one holds the
// codec's own planes, their RGBA conversion, the frame made of it and the frame shown before;
// beyond this a single frame would need gigabytes. No codec level allows more than half of it.
inline constexpr qint64 kMaxVideoPixels = qint64{8192} * 8192;
// No opened animation may have more frames than this.
inline constexpr qint64 kMaxOpenFrames = 100000;

}  // namespace mirelo
