#include "export/ExportPreprocessor.h"

#include "image/ImageServices.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mirelo::ExportPreprocessor {

namespace {

Frames unchanged(const std::vector<Image>& images, const std::vector<double>& delays) {
    return {images, delays};
}

}  // namespace

Thumbnail downsample(const Image& image) {
    Thumbnail thumb{};
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return thumb;
    }
    // Bilinear samples at the centre of each thumbnail pixel: cheap whatever
    // the frame's size, like a low-quality scaled draw.
    const int width = image.width();
    const int height = image.height();
    const double sx = double(width) / kThumbnailSide;
    const double sy = double(height) / kThumbnailSide;
    for (int ty = 0; ty < kThumbnailSide; ++ty) {
        const double fy = std::clamp((ty + 0.5) * sy - 0.5, 0.0, double(height - 1));
        const int y0 = int(fy);
        const int y1 = std::min(y0 + 1, height - 1);
        const double wy = fy - y0;
        const uchar* row0 = image.constScanLine(y0);
        const uchar* row1 = image.constScanLine(y1);
        for (int tx = 0; tx < kThumbnailSide; ++tx) {
            const double fx = std::clamp((tx + 0.5) * sx - 0.5, 0.0, double(width - 1));
            const int x0 = int(fx);
            const int x1 = std::min(x0 + 1, width - 1);
            const double wx = fx - x0;
            uint8_t* out = thumb.data() + (ty * kThumbnailSide + tx) * 4;
            for (int c = 0; c < 4; ++c) {
                const double top = row0[x0 * 4 + c] * (1 - wx) + row0[x1 * 4 + c] * wx;
                const double bottom = row1[x0 * 4 + c] * (1 - wx) + row1[x1 * 4 + c] * wx;
                out[c] = static_cast<uint8_t>(std::lround(top * (1 - wy) + bottom * wy));
            }
        }
    }
    return thumb;
}

double averageDifference(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength) {
    if (a == nullptr || b == nullptr || aLength == 0 || aLength != bLength) {
        return 1.0;
    }
    size_t changed = 0;
    const size_t pixels = aLength / 4;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = a + i * 4;
        const uint8_t* q = b + i * 4;
        if (std::abs(p[0] - q[0]) > 20 || std::abs(p[1] - q[1]) > 20 ||
            std::abs(p[2] - q[2]) > 20) {
            ++changed;
        }
    }
    return pixels == 0 ? 1.0 : double(changed) / double(pixels);
}

namespace {

// Which frames survive skipping similar ones, by position: `thumbnail(i)` is
// frame i's thumbnail. Fills `kept` and `delays`.
template <typename ThumbnailOf>
bool keepDissimilar(size_t count, const std::vector<double>& inDelays, ThumbnailOf thumbnail,
                    double threshold, double maxDuration, std::vector<size_t>& kept,
                    std::vector<double>& delays, const CancelFlag& cancel) {
    kept.assign(1, 0);
    delays.assign(1, inDelays[0]);
    Thumbnail reference = thumbnail(0);
    double running = inDelays[0];
    for (size_t i = 1; i < count; ++i) {
        if (cancel.isCancelled()) {
            return false;
        }
        const Thumbnail thumb = thumbnail(i);
        const double d = averageDifference(reference, thumb);
        if (d <= threshold && running < maxDuration) {
            delays.back() += inDelays[i];
            running += inDelays[i];
        } else {
            kept.push_back(i);
            delays.push_back(inDelays[i]);
            reference = thumb;
            running = inDelays[i];
        }
    }
    return true;
}

// Which frames survive dropping `percent` of them, by position.
void keepShare(size_t count, const std::vector<double>& inDelays, int percent,
               std::vector<size_t>& kept, std::vector<double>& delays) {
    const double keep = double(percent) / -100.0 + 1.0;
    double accumulator = 0;
    kept.clear();
    delays.clear();
    for (size_t i = 0; i < count; ++i) {
        accumulator = keep + accumulator;
        if (i == 0 || accumulator >= 1.0) {
            kept.push_back(i);
            delays.push_back(inDelays[i]);
            accumulator -= 1.0;
        } else {
            delays.back() += inDelays[i];
        }
    }
}

// The size every frame is scaled to for `percent` of `first`.
QSize resizedSize(QSize first, int percent) {
    const double p = percent;
    // std::round rounds halves away from zero.
    return QSize(std::max(10, int(std::round(p * first.width() / 100.0))),
                 std::max(10, int(std::round(p * first.height() / 100.0))));
}

Frames pick(const std::vector<Image>& images, const std::vector<size_t>& kept,
            std::vector<double> delays) {
    Frames out;
    out.images.reserve(kept.size());
    for (size_t i : kept) {
        out.images.push_back(images[i]);
    }
    out.delays = std::move(delays);
    return out;
}

}  // namespace

Frames dropSimilarFrames(const std::vector<Image>& images, const std::vector<double>& delays,
                         double threshold, double maxDuration) {
    if (images.size() < 2 || images.size() != delays.size()) {
        return unchanged(images, delays);
    }
    std::vector<size_t> kept;
    std::vector<double> keptDelays;
    keepDissimilar(
        images.size(), delays, [&](size_t i) { return downsample(images[i]); }, threshold,
        maxDuration, kept, keptDelays, CancelFlag());
    return pick(images, kept, std::move(keptDelays));
}

Frames dropFrames(const std::vector<Image>& images, const std::vector<double>& delays,
                  int percent) {
    if (images.size() < 2 || percent < 1 || images.size() != delays.size()) {
        return unchanged(images, delays);
    }
    std::vector<size_t> kept;
    std::vector<double> keptDelays;
    keepShare(images.size(), delays, percent, kept, keptDelays);
    return pick(images, kept, std::move(keptDelays));
}

Frames resize(const std::vector<Image>& images, const std::vector<double>& delays, int percent) {
    if (percent > 99 || images.empty() || images.front().isNull()) {
        return unchanged(images, delays);
    }
    const QSize target = resizedSize(images.front().size(), percent);
    const int width = target.width();
    const int height = target.height();
    Frames out;
    double orphaned = 0;  // delays of leading frames that could not be scaled
    for (size_t i = 0; i < images.size(); ++i) {
        const double delay = i < delays.size() ? delays[i] : 0.0;
        const Image scaled =
            ImageServices::scaled(images[i], width, height, ImageServices::ScaleQuality::High);
        if (scaled.isNull()) {
            // A frame that cannot be scaled is left out; its time goes to the
            // frame before it (or after it) so the lists stay paired and the
            // total duration stays the same.
            if (out.delays.empty()) {
                orphaned += delay;
            } else {
                out.delays.back() += delay;
            }
            continue;
        }
        out.images.push_back(scaled);
        out.delays.push_back(delay + orphaned);
        orphaned = 0;
    }
    return out;
}

Frames process(const std::vector<Image>& images, const std::vector<double>& delays,
               const Options& options) {
    Frames frames{images, delays};
    if (options.skipSimilar) {
        frames = dropSimilarFrames(frames.images, frames.delays, options.skipSimilar->threshold,
                                   options.skipSimilar->maxDuration);
    }
    if (options.reduceFramesPercent && *options.reduceFramesPercent > 0) {
        frames = dropFrames(frames.images, frames.delays, *options.reduceFramesPercent);
    }
    if (options.resizePercent && *options.resizePercent <= 99 && !frames.images.empty()) {
        frames = resize(frames.images, frames.delays, *options.resizePercent);
    }
    return frames;
}

Selection select(const FrameSequence& frames, const std::vector<double>& delays,
                 const Options& options, const CancelFlag& cancel) {
    Selection selection;
    selection.delays = delays;
    selection.indices.resize(frames.count);
    for (size_t i = 0; i < frames.count; ++i) {
        selection.indices[i] = i;
    }
    if (frames.count != delays.size() || !frames.frame || !frames.size) {
        return selection;
    }
    // Each step works on positions within the selection so far.
    auto narrow = [&selection](const std::vector<size_t>& kept, std::vector<double> keptDelays) {
        std::vector<size_t> indices;
        indices.reserve(kept.size());
        for (size_t k : kept) {
            indices.push_back(selection.indices[k]);
        }
        selection.indices = std::move(indices);
        selection.delays = std::move(keptDelays);
    };
    std::vector<size_t> kept;
    std::vector<double> keptDelays;
    if (options.skipSimilar && selection.indices.size() >= 2) {
        const bool done = keepDissimilar(
            selection.indices.size(), selection.delays,
            [&](size_t k) { return downsample(frames.frame(selection.indices[k])); },
            options.skipSimilar->threshold, options.skipSimilar->maxDuration, kept, keptDelays,
            cancel);
        if (!done) {
            return selection;
        }
        narrow(kept, std::move(keptDelays));
    }
    if (options.reduceFramesPercent && *options.reduceFramesPercent > 0 &&
        selection.indices.size() >= 2) {
        keepShare(selection.indices.size(), selection.delays, *options.reduceFramesPercent, kept,
                  keptDelays);
        narrow(kept, std::move(keptDelays));
    }
    if (options.resizePercent && *options.resizePercent <= 99 && !selection.indices.empty()) {
        const QSize first = frames.size(selection.indices.front());
        if (!first.isEmpty()) {
            selection.scaledSize = resizedSize(first, *options.resizePercent);
        }
    }
    return selection;
}

FrameSequence apply(const FrameSequence& frames, const Selection& selection) {
    auto shared = std::make_shared<const Selection>(selection);
    FrameSequence out;
    out.count = selection.indices.size();
    out.frame = [frames, shared](size_t k) {
        const Image image = frames.frame(shared->indices[k]);
        if (!shared->scaledSize.isValid()) {
            return image;
        }
        return ImageServices::scaled(image, shared->scaledSize.width(), shared->scaledSize.height(),
                                     ImageServices::ScaleQuality::High);
    };
    out.size = [frames, shared](size_t k) {
        return shared->scaledSize.isValid() ? shared->scaledSize : frames.size(shared->indices[k]);
    };
    return out;
}

FrameSequence sample(const FrameSequence& frames, size_t step, QSize size) {
    Selection selection;
    step = std::max<size_t>(step, 1);
    for (size_t i = 0; i < frames.count; i += step) {
        selection.indices.push_back(i);
    }
    selection.scaledSize = size;
    return apply(frames, selection);
}

}  // namespace mirelo::ExportPreprocessor
