#pragma once

#include "export/ExportTypes.h"
#include "export/ExporterMedia.h"
#include "image/Image.h"

#include <QString>

#include <vector>

namespace mirelo::convert {

// The one place where an output format picks its encoder.
ExportStatus encodeFrames(ExportFormat format, const std::vector<Image>& images,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress);

// True when `format`'s encoder takes frames one at a time as it encodes them,
// so they can be decoded alongside the encoding instead of all beforehand.
bool encodesFramesAsTheyCome(ExportFormat format);

// As encodeFrames, with `count` frames from `frames` (see Exporter::FrameSource).
// Formats whose encoder needs every frame at once take them all first.
ExportStatus encodeFrames(ExportFormat format, size_t count, const Exporter::FrameSource& frames,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress);

}  // namespace mirelo::convert
