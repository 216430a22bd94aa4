#pragma once

#include "export/ExportTypes.h"
#include "image/Image.h"

#include <QString>

#include <vector>

namespace mirelo::convert {

// The one place where an output format picks its encoder.
ExportStatus encodeFrames(ExportFormat format, const std::vector<Image>& images,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress);

}  // namespace mirelo::convert
