#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"

#include <QString>

#include <cstdint>
#include <vector>

// The WebP entry point (see ExporterGIF.h for what every entry point shares).
namespace mirelo::Exporter {

// Animated WebP through libwebp's animation encoder, white background,
// repeating forever. Frames are stored lossy at one quality (the default),
// lossless (each frame decodes to exactly its pixels), or mixed: the smaller
// of a lossy encoding in which libwebp may keep any frame lossless instead,
// and an all-lossless one, as `settings.webpMode` says. The canvas is the
// first frame's size; frames of another size are scaled onto it. Frames are
// taken one at a time, in order, as they are encoded: each is let go once
// imported. A null frame fails the export. Failures are the ExportError kinds
// noFrames, webpConfigInvalid, webpEncoderFailed, pixelImportFailed,
// frameWriteFailed, webpAssembleFailed and writeFailed.
ExportStatus encodeWebP(const FrameSequence& frames, const std::vector<double>& delays,
                        const EncodeSettings& settings, const QString& destination,
                        const CancelFlag& cancel = {}, const ProgressFn& progress = {});

namespace WebP {

// The encoder quality for a user quality: clamped to 1..100.
float clampedQuality(int quality);

// A frame's display time in whole milliseconds: at least 20 ms, rounded half
// away from zero. Not-a-number counts as the minimum.
int32_t durationMs(double delay);

}  // namespace WebP

}  // namespace mirelo::Exporter
