#include "export/ExportOptions.h"

#include "export/ExportFormats.h"

namespace mirelo {

QString ExportOptions::cacheKey() const {
    const QString dash = QStringLiteral("-");
    QString key =
        extension(format) + dash + QString::number(quality) + dash +
        (reduceFramesEnabled ? QString::number(reduceFramesPercent) : QStringLiteral("0")) + dash +
        (resizeEnabled ? QString::number(resizePercent) : QStringLiteral("100")) + dash;
    key += skipSimilarEnabled
               ? QString::number(similarityPercent) + dash + QString::number(maxSimilarDuration)
               : QStringLiteral("0");
    if (format == ExportFormat::webp && webpMode != WebPMode::lossy) {
        key +=
            webpMode == WebPMode::lossless ? QStringLiteral("-lossless") : QStringLiteral("-mixed");
    }
    if (format == ExportFormat::gif && gifLossy > 0) {
        key += QStringLiteral("-lossy") + QString::number(gifLossy);
    }
    if (sizeLimitEnabled) {
        key += QStringLiteral("-max") + QString::number(sizeLimitMegabytes);
    }
    return key;
}

EncodeSettings ExportOptions::encodeSettings() const {
    EncodeSettings settings(quality);
    settings.webpMode = webpMode;
    settings.gifLossy = gifLossy;
    return settings;
}

ExportPreprocessor::Options ExportOptions::preprocessorOptions() const {
    ExportPreprocessor::Options options;
    if (reduceFramesEnabled) {
        options.reduceFramesPercent = reduceFramesPercent;
    }
    if (skipSimilarEnabled) {
        options.skipSimilar = ExportPreprocessor::SkipSimilar{
            (100.0 - similarityPercent) / 100.0, static_cast<double>(maxSimilarDuration)};
    }
    if (resizeEnabled) {
        options.resizePercent = resizePercent;
    }
    return options;
}

}  // namespace mirelo
