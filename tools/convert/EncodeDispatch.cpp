#include "convert/EncodeDispatch.h"

#include "export/ExportModel.h"

namespace mirelo::convert {

ExportStatus encodeFrames(ExportFormat format, const std::vector<Image>& images,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress) {
    // The same format switch the save dialog's export uses.
    return encodeProcessedFrames(format, images, delays, quality, destination, cancel, progress);
}

}  // namespace mirelo::convert
