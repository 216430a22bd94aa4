#pragma once

#include "export/ExportTypes.h"
#include "export/ExporterMedia.h"
#include "image/Image.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace mirelo {

// Errors of the animated WebP writer. The description is what the user sees.
struct WebPEncoderError {
    enum class Code {
        addFrameFailed,  // `frameIndex` says which frame (from 0)
        emptyFrames,
        configInvalid,
        encoderCreationFailed,
        importPixelsFailed,
        assembleFailed,
    };

    Code code = Code::emptyFrames;
    int frameIndex = 0;

    static WebPEncoderError addFrameFailed(int index) { return {Code::addFrameFailed, index}; }
    static WebPEncoderError of(Code code) { return {code, 0}; }

    QString description() const;
    ExportError toExportError() const;
};

// Animated WebP through libwebp's animation encoder: lossy, one quality for
// every frame, white background, repeating forever. The canvas is the first
// frame's size; frames of another size are scaled onto it.
namespace WebPEncoder {

// The encoder quality for a user quality: clamped to 1..100.
float clampedQuality(int quality);

// A frame's display time in whole milliseconds: at least 20 ms, rounded half
// away from zero. Not-a-number counts as the minimum.
int32_t durationMs(double delay);

// Encodes synchronously (run it off the main thread) and writes the file
// through a temporary file beside `destination`, so a failure leaves no
// partial file and keeps an existing one. `cancel` is checked before every
// frame; `progress` is called after every frame.
ExportStatus encode(const std::vector<Image>& images, const std::vector<double>& delays,
                    int quality, const QString& destination, const CancelFlag& cancel = {},
                    const ProgressFn& progress = {});
// As above, with `count` frames taken from `frames` one at a time as they are
// encoded; each is let go once imported.
ExportStatus encode(size_t count, const Exporter::FrameSource& frames,
                    const std::vector<double>& delays, int quality, const QString& destination,
                    const CancelFlag& cancel = {}, const ProgressFn& progress = {});

}  // namespace WebPEncoder

}  // namespace mirelo
