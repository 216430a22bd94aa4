#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"

#include <QString>

#include <vector>

// The GIF entry point. Like the WebP and MP4 ones it takes the frames, their
// delays in seconds (one per frame), the settings and the destination; it runs
// synchronously on the caller's thread (a background thread: never the UI
// thread; no event loop needed), checks `cancel` between frames, reports
// `progress` and writes through a temporary file beside the destination, so a
// failed or cancelled export leaves no file behind and keeps whatever was
// there. Returns std::nullopt on success.
namespace mirelo::Exporter {

// Colours for a quality of 1..100: 256 from 100, 2 at 0 or below, else
// quality x 256 / 100 (integer division).
int gifColorCount(int quality);
// Error diffusion strength: max(quality, 10) / 100, at most 1.
float gifDitherStrength(int quality);

// An animated GIF: one palette for the animation, frames quantized in
// parallel, then written in order. Progress counts the frames written. Frames
// are asked for from several threads at once and in no fixed order, and the
// frames the palette is sampled from (GIFQuantizer::sampledFrameIndices) are
// asked for first, in order, and once more later; no more than a few are held
// at a time.
ExportStatus encodeGIF(const FrameSequence& frames, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

}  // namespace mirelo::Exporter
