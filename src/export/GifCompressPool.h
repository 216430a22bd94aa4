#pragma once

#include "export/GifFrameDiff.h"
#include "export/GifLzw.h"
#include "image/OrderedPipeline.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo::gif {

// One way of compressing a frame (see LzwChoice).
struct FrameChoice {
    bool hide = true;
    bool clearWhenFull = true;
};

// A frame ready to compress: its rectangle's pixels and, after the first
// frame, which of them equal the frame before.
struct FrameJob {
    Rect rect;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> unchanged;
    int transparent = -1;  // the index that shows the frame before, or negative
    int delay = 0;
    // For lossy compression: one bit per pixel of the rectangle (lowest bit
    // first), set where the pixel equals the frame before.
    std::vector<uint8_t> stillBits;
    // For lossy compression: one entry per pixel of the rectangle, nonzero
    // where the pixel may be written as a near colour.
    std::vector<uint8_t> mayDeviate;
    // When set, the one way to compress it (found for the same pixels in
    // other indices); otherwise every way is tried.
    std::optional<FrameChoice> forced;
    // Set by the compression: the image data, and whether the frame still
    // needs its transparent index (a plain encoding may have come out smaller).
    std::vector<uint8_t> data;
    FrameChoice chosen;
    bool done = false;
};

// Compresses frames on worker threads while the caller prepares the next
// ones; the caller takes them back in the order it gave them. Each frame is
// compressed every way that can differ (unchanged pixels free to be the
// transparent index or written as they are; a full code table started anew
// or kept) with the smallest code size its indices allow, and the smallest
// result is kept. Every way decodes to the same picture; with lossy matching
// each way is also tried exactly, so a lossy frame is never larger than its
// exact encoding.
class CompressPool {
public:
    // `near` (or null): the lossy matching table of LzwChoice, kept by the
    // caller while the pool lives.
    CompressPool(int workers, const uint8_t* near);
    ~CompressPool();
    CompressPool(const CompressPool&) = delete;
    CompressPool& operator=(const CompressPool&) = delete;

    void submit(std::unique_ptr<FrameJob> job);
    size_t inFlight() const;
    bool oldestDone() const;
    // The oldest job, waiting until it is compressed; null when none is left.
    std::unique_ptr<FrameJob> takeOldest();

private:
    // What a worker keeps from frame to frame.
    struct Worker {
        LzwCompressor lzw;
        std::vector<uint8_t> scratch;
    };

    const uint8_t* m_near;
    std::vector<Worker> m_state;  // one per worker
    // Last: its workers use the members above, and end first.
    OrderedPipeline<std::unique_ptr<FrameJob>> m_pipeline;
};

}  // namespace mirelo::gif
