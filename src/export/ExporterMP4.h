#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// The MP4 entry point (see ExporterGIF.h for what every entry point shares).
namespace mirelo::Exporter {

// One H.264 video track (libx264, yuv420p or, for an odd side, yuv444p; BT.709
// matrix, limited range) at the first frame's exact size in an MP4 file with its index at the
// front. Frame i is shown from the sum of the earlier delays, each rounded to 1/600 s, for its own
// delay; the video lasts the sum of the rounded delays. Frames are taken one at a time as they
// are encoded: in increasing order, each at most once, skipping frames that are never shown; a
// null frame fails the export. The first frame is taken before the file is started (it sets the
// video size). Errors are ExportError::encodeFailed.
ExportStatus encodeMP4(const FrameSequence& frames, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

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
