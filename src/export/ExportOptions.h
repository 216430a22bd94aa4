#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"

#include <QString>

namespace mirelo {

// The options of one save as the export dialog holds them: the format and
// its quality and choices, and the reductions, each with a value kept while
// it is switched off.
struct ExportOptions {
    ExportFormat format = ExportFormat::gif;
    int quality = 80;
    WebPMode webpMode = WebPMode::lossy;  // how a WebP stores its frames
    int gifLossy = 0;                     // a GIF's lossy strength 1..100, or 0 when off
    bool reduceFramesEnabled = false;
    int reduceFramesPercent = 30;
    bool resizeEnabled = false;
    int resizePercent = 50;
    bool skipSimilarEnabled = false;
    int similarityPercent = 95;
    int maxSimilarDuration = 2;  // seconds
    // "限制大小": the best file of at most the limit in MB (1 000 000 bytes).
    bool sizeLimitEnabled = false;
    int sizeLimitMegabytes = 10;

    // What the encoder is given: the quality and the format's own choices.
    EncodeSettings encodeSettings() const;
    // The reductions switched on.
    ExportPreprocessor::Options preprocessorOptions() const;
    qint64 sizeLimitBytes() const { return qint64(sizeLimitMegabytes) * 1'000'000; }

    // The options as one string that tells apart every two that make
    // different files, e.g. "gif-80-0-100-0" or "webp-60-30-100-95-2": the
    // format, quality, reduction, scale and similarity with its longest
    // merge (each reduction switched off counting as its neutral value). A
    // WebP stored otherwise than lossy adds "-lossless" or "-mixed", a lossy
    // GIF "-lossy" and its strength, a size limit "-max" and the megabytes.
    QString cacheKey() const;

    friend bool operator==(const ExportOptions&, const ExportOptions&) = default;
};

}  // namespace mirelo
