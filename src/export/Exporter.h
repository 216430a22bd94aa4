#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "image/Image.h"

#include <QString>

#include <vector>

// The encode entry points. Each is synchronous: the caller runs it on a
// worker thread; none needs an event loop.
namespace mirelo::Exporter {

// Colours for a quality of 1..100: 256 from 100, 2 at 0 or below, else
// quality x 256 / 100 (integer division).
int gifColorCount(int quality);
// Error diffusion strength: max(quality, 10) / 100, at most 1.
float gifDitherStrength(int quality);

// Writes an animated GIF of `images` with `delays` (seconds, one per frame)
// to `destination`: one palette for the animation, frames quantized in
// parallel, then written in order. Progress counts the frames written.
// Returns std::nullopt on success; on failure or
// cancellation nothing is left at the destination and a file already there
// is kept.
ExportStatus encodeGIF(const std::vector<Image>& images, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

// As above, with the frames made as they are needed. Frames are asked for
// from several threads at once and in no fixed order, and the frames the
// palette is sampled from twice; no more than a few are held at a time.
ExportStatus encodeGIF(const FrameSequence& frames, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel = {}, const ProgressFn& progress = {});

}  // namespace mirelo::Exporter
