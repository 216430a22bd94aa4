#include "convert/EncodeDispatch.h"

#include "export/Exporter.h"
#include "export/ExporterMedia.h"

namespace mirelo::convert {

ExportStatus encodeFrames(ExportFormat format, const std::vector<Image>& images,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress) {
    switch (format) {
        case ExportFormat::gif:
            return Exporter::encodeGIF(images, delays, quality, destination, cancel, progress);
        case ExportFormat::webp:
            return Exporter::encodeWebP(images, delays, quality, destination, cancel, progress);
        case ExportFormat::mp4:
            return Exporter::encodeMP4(images, delays, quality, destination, cancel, progress);
    }
    return ExportError::encodeFailed(QStringLiteral("this build cannot write .") +
                                     rawValue(format) + QStringLiteral(" files"));
}

}  // namespace mirelo::convert
