#pragma once

#include "export/ExportTypes.h"
#include "export/FrameSequence.h"
#include "image/Image.h"

#include <QSize>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Reductions applied before encoding: skipping frames that look like the last
// kept one, dropping a share of the frames, and scaling down. A dropped
// frame's delay goes to the frame kept in its place, so the total duration
// never changes. Pure functions; any thread.
namespace mirelo::ExportPreprocessor {

struct SkipSimilar {
    double threshold = 0;    // largest share (0..1) of changed pixels that still counts as similar
    double maxDuration = 0;  // seconds a kept frame may absorb similar followers for
};

// Each reduction is off when absent.
struct Options {
    std::optional<int> reduceFramesPercent;
    std::optional<SkipSimilar> skipSimilar;
    std::optional<int> resizePercent;
};

struct Frames {
    std::vector<Image> images;
    std::vector<double> delays;
};

// Similar frames skipped, then frames dropped, then frames scaled.
Frames process(const std::vector<Image>& images, const std::vector<double>& delays,
               const Options& options);

Frames dropSimilarFrames(const std::vector<Image>& images, const std::vector<double>& delays,
                         double threshold, double maxDuration);

// Drops `percent` of the frames evenly; frame 0 is always kept.
Frames dropFrames(const std::vector<Image>& images, const std::vector<double>& delays, int percent);

// Every frame scaled to round(percent x size of the first frame / 100), each
// side at least 10 pixels. 100 or more changes nothing.
Frames resize(const std::vector<Image>& images, const std::vector<double>& delays, int percent);

// What process() keeps of a frame sequence: which frames (indices into the
// sequence, ascending), for how long, and the size they are scaled to.
struct Selection {
    std::vector<size_t> indices;
    std::vector<double> delays;
    QSize scaledSize;  // invalid: the frames keep their size
};

// The reductions of process() decided over a sequence, reading each frame at
// most once (and only when similar frames are skipped, for its thumbnail), so
// no more than one frame is held at a time. Stops early when `cancel` is set;
// the result is then of no use. With not one delay per frame nothing is
// reduced.
Selection select(const FrameSequence& frames, const std::vector<double>& delays,
                 const Options& options, const CancelFlag& cancel = {});

// The selected frames as a sequence of their own: each frame is made, and
// scaled, when it is asked for. Equals process() frame for frame.
FrameSequence apply(const FrameSequence& frames, const Selection& selection);

// Every step-th frame (0, step, 2 step, ...) of a sequence, each scaled to
// `size` when that is valid.
FrameSequence sample(const FrameSequence& frames, size_t step, QSize size);

inline constexpr int kThumbnailSide = 16;
inline constexpr int kThumbnailBytes = kThumbnailSide * kThumbnailSide * 4;
using Thumbnail = std::array<uint8_t, kThumbnailBytes>;

// The frame drawn into 16 x 16 premultiplied RGBA; all zero when it cannot be drawn.
Thumbnail downsample(const Image& image);

// Share of pixels whose red, green or blue differs by more than 20; 1 when the
// first buffer is empty or the lengths differ.
double averageDifference(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength);
inline double averageDifference(const Thumbnail& a, const Thumbnail& b) {
    return averageDifference(a.data(), a.size(), b.data(), b.size());
}

}  // namespace mirelo::ExportPreprocessor
