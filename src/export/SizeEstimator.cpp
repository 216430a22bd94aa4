#include "export/SizeEstimator.h"

#include "export/ExportFormats.h"
#include "export/ExportPreprocessor.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace mirelo {

EstimatePlan planEstimate(int frameCount, QSize firstFrame) {
    EstimatePlan plan;
    const qint64 n = std::max(frameCount, 0);
    const qint64 w = std::max(firstFrame.width(), 0);
    const qint64 h = std::max(firstFrame.height(), 0);
    plan.frameCount = int(n);
    if (w * n * h <= EstimatePlan::kMaxExactPixels) {
        return plan;
    }
    plan.exact = false;
    if (n > EstimatePlan::kMaxFrames) {
        plan.step = int((n + EstimatePlan::kMaxFrames - 1) / EstimatePlan::kMaxFrames);
        plan.frameCount = int((n + plan.step - 1) / plan.step);
        plan.frameFactor = double(n) / double(plan.frameCount);
    }
    if (w > EstimatePlan::kMaxWidth) {
        const double ratio = double(EstimatePlan::kMaxWidth) / double(w);
        const int width = std::max(int(std::round(ratio * double(w))), 10);
        const int height = std::max(int(std::round(ratio * double(h))), 10);
        plan.scaledSize = QSize(width, height);
        plan.sizeFactor = std::pow(double(w * h) / (double(width) * double(height)), 0.9);
    }
    return plan;
}

EstimateFrames estimateSample(const FrameSequence& frames, const std::vector<double>& delays,
                              const EstimatePlan& plan) {
    if (plan.exact) {
        return {frames, delays};
    }
    // Every step-th frame, scaled as it is encoded; a frame that cannot be
    // scaled fails the estimate.
    const size_t step = static_cast<size_t>(plan.step);
    EstimateFrames sample;
    for (size_t i = 0; i < frames.count && i < delays.size(); i += step) {
        sample.delays.push_back(delays[i]);
    }
    sample.frames = ExportPreprocessor::sample(frames, step, plan.scaledSize);
    return sample;
}

std::variant<SizeMeasure, ExportError> measureEncodedSize(
    ExportFormat format, const FrameSequence& frames, const std::vector<double>& delays,
    const EncodeSettings& settings, const QString& path, const CancelFlag& cancel) {
    const QSize first = frames.count == 0 ? QSize(0, 0) : frames.size(0);
    const EstimatePlan plan = planEstimate(static_cast<int>(frames.count), first);
    const EstimateFrames sample = estimateSample(frames, delays, plan);
    if (const ExportStatus status =
            encodeFrames(format, sample.frames, sample.delays, settings, path, cancel)) {
        QFile::remove(path);
        return *status;
    }
    SizeMeasure out;
    out.bytes = std::max<qint64>(QFileInfo(path).size(), 0);
    out.exact = plan.exact;
    if (!plan.exact) {
        QFile::remove(path);
        out.bytes = static_cast<qint64>(plan.sizeFactor * (double(out.bytes) * plan.frameFactor));
    }
    return out;
}

}  // namespace mirelo
