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

Frames dropSimilarFrames(const std::vector<Image>& images, const std::vector<double>& delays,
                         double threshold, double maxDuration) {
    if (images.size() < 2 || images.size() != delays.size()) {
        return unchanged(images, delays);
    }
    Frames out;
    out.images.push_back(images[0]);
    out.delays.push_back(delays[0]);
    Thumbnail reference = downsample(images[0]);
    double running = delays[0];
    for (size_t i = 1; i < images.size(); ++i) {
        const Thumbnail thumb = downsample(images[i]);
        const double d = averageDifference(reference, thumb);
        if (d <= threshold && running < maxDuration) {
            out.delays.back() += delays[i];
            running += delays[i];
        } else {
            out.images.push_back(images[i]);
            out.delays.push_back(delays[i]);
            reference = thumb;
            running = delays[i];
        }
    }
    return out;
}

Frames dropFrames(const std::vector<Image>& images, const std::vector<double>& delays,
                  int percent) {
    if (images.size() < 2 || percent < 1 || images.size() != delays.size()) {
        return unchanged(images, delays);
    }
    const double keep = double(percent) / -100.0 + 1.0;
    double accumulator = 0;
    Frames out;
    for (size_t i = 0; i < images.size(); ++i) {
        accumulator = keep + accumulator;
        if (i == 0 || accumulator >= 1.0) {
            out.images.push_back(images[i]);
            out.delays.push_back(delays[i]);
            accumulator -= 1.0;
        } else {
            out.delays.back() += delays[i];
        }
    }
    return out;
}

Frames resize(const std::vector<Image>& images, const std::vector<double>& delays, int percent) {
    if (percent > 99 || images.empty() || images.front().isNull()) {
        return unchanged(images, delays);
    }
    const double p = percent;
    // std::round rounds halves away from zero.
    const int width = std::max(10, int(std::round(p * images.front().width() / 100.0)));
    const int height = std::max(10, int(std::round(p * images.front().height() / 100.0)));
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

}  // namespace mirelo::ExportPreprocessor
