#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"

#include <QSize>
#include <QString>

#include <variant>
#include <vector>

namespace mirelo {

// What a size estimate encodes for n processed frames whose first is
// `firstFrame`. Up to 80 000 000 pixels in all it is the export itself;
// above, at most 60 frames (every step-th) at a width of at most 1280, and
// the size found is scaled up: linearly by the frame ratio, and by the area
// ratio to the power 0.9.
struct EstimatePlan {
    bool exact = true;
    int step = 1;            // frames 0, step, 2 step, ... below n
    int frameCount = 0;      // how many frames that takes
    double frameFactor = 1;  // r: n / frameCount
    double sizeFactor = 1;   // s: (area / scaled area) ^ 0.9
    QSize scaledSize;        // invalid when the frames keep their size

    static constexpr qint64 kMaxExactPixels = 80'000'000;
    static constexpr int kMaxFrames = 60;
    static constexpr int kMaxWidth = 1280;
};
EstimatePlan planEstimate(int frameCount, QSize firstFrame);
// The frames and delays `plan` encodes out of the processed ones. A frame
// that cannot be scaled is left out while its delay stays, so the count
// check of the encoding reports the loss.
struct EstimateFrames {
    FrameSequence frames;
    std::vector<double> delays;
};
EstimateFrames estimateSample(const FrameSequence& frames, const std::vector<double>& delays,
                              const EstimatePlan& plan);

// The size of the file `frames` make, as the live estimate measures it: the
// file itself up to the exact plan's limit, else a sample's scaled up (see
// EstimatePlan). The sample's file is encoded at `path` and removed unless
// it is the exact file, which is then left there for the caller.
struct SizeMeasure {
    qint64 bytes = 0;
    bool exact = true;
};
std::variant<SizeMeasure, ExportError> measureEncodedSize(
    ExportFormat format, const FrameSequence& frames, const std::vector<double>& delays,
    const EncodeSettings& settings, const QString& path, const CancelFlag& cancel);

}  // namespace mirelo
