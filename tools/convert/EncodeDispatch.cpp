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

bool encodesFramesAsTheyCome(ExportFormat format) {
    return format == ExportFormat::mp4 || format == ExportFormat::webp;
}

ExportStatus encodeFrames(ExportFormat format, size_t count, const Exporter::FrameSource& frames,
                          const std::vector<double>& delays, int quality,
                          const QString& destination, const CancelFlag& cancel,
                          const ProgressFn& progress) {
    if (count == 0 || delays.size() != count) {
        return ExportError::encodeFailed(QStringLiteral("帧数据为空"));
    }
    if (format == ExportFormat::mp4) {
        return Exporter::encodeMP4(count, frames, delays, quality, destination, cancel, progress);
    }
    if (format == ExportFormat::webp) {
        return Exporter::encodeWebP(count, frames, delays, quality, destination, cancel, progress);
    }
    std::vector<Image> images;
    images.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        images.push_back(frames(i));
        if (images.back().isNull()) {
            return ExportError::encodeFailed(QStringLiteral("帧数据为空"));
        }
    }
    return encodeFrames(format, images, delays, quality, destination, cancel, progress);
}

}  // namespace mirelo::convert
