#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "image/Image.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// The WebP and MP4 entry points of the exporter. Like the GIF one, each takes
// the frames, their delays in seconds (one per frame), the user's quality
// (1..100) and the destination; each runs synchronously on the caller's
// thread (a background thread: never the UI thread), checks `cancel` before
// every frame, reports `progress` after every frame, and writes through a
// temporary file beside the destination, so a failed or cancelled export
// leaves no file behind and keeps whatever was there.
namespace mirelo::Exporter {

// Animated WebP (see WebPEncoder), lossy, lossless or mixed as
// `settings.webpMode` says.
ExportStatus encodeWebP(const std::vector<Image>& images, const std::vector<double>& delays,
                        const EncodeSettings& settings, const QString& destination,
                        const CancelFlag& cancel = {}, const ProgressFn& progress = {});
// As above, with the frames taken one at a time, in order, as they are
// encoded: each is let go once imported. A null frame fails the export.
ExportStatus encodeWebP(const FrameSequence& frames, const std::vector<double>& delays,
                        const EncodeSettings& settings, const QString& destination,
                        const CancelFlag& cancel = {}, const ProgressFn& progress = {});

// One H.264 video track (libx264, yuv420p or, for an odd side, yuv444p; BT.709
// matrix, limited range) at the first frame's exact size in an MP4 file with its index at the
// front. Frame i is shown from the sum of the earlier delays, each rounded to 1/600 s, for its own
// delay; the video lasts the sum of the rounded delays. Errors are ExportError::encodeFailed.
ExportStatus encodeMP4(const std::vector<Image>& images, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

// As above, with the frames taken one at a time as they are encoded rather
// than all held at once: in increasing order, each at most once, skipping
// frames that are never shown; a null frame fails the export. The first
// frame is taken before the file is started (it sets the video size).
ExportStatus encodeMP4(const FrameSequence& frames, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

// The error of a destination that cannot be written: its path and the
// system's reason (as QFile::errorString() or strerror() say it) ...
ExportError fileWriteError(const QString& destination, const QString& detail);
// ... or the step that failed.
ExportError fileWriteError(const QString& destination, ExportError::Cause cause);

namespace MP4 {

// Ticks per second of the presentation times.
inline constexpr int kTimescale = 600;

// The video's size: the first frame's, at least 1x1. It is never rounded.
QSize videoSize(QSize firstFrame);

// Whether the video keeps chroma at full resolution (4:4:4): when a side is
// odd, since a 4:2:0 stream can only be cropped in steps of two pixels.
// Otherwise 4:2:0, which every player decodes.
bool fullChroma(QSize video);

// Average bit rate in bits per second: frame rate (delays per second of their
// sum, the sum taken as at least 0.01 s) times the video's pixel count times
// a factor growing linearly from 0.0436 at quality 1 to 0.40 at quality 100;
// truncated, and at least 100 000.
int64_t averageBitRate(const std::vector<double>& delays, QSize video, int quality);

// A delay in ticks of 1/600 s, rounded to the nearest tick; negative and
// not-a-number delays count as zero.
int64_t delayTicks(double delay);

}  // namespace MP4

}  // namespace mirelo::Exporter
