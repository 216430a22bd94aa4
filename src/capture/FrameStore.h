#pragma once

#include "capture/MediaTime.h"
#include "image/Image.h"

#include <mutex>
#include <vector>

namespace mirelo {

// The hand-off point between the capture thread and the main thread: frames
// collect here in arrival order until drain() takes them all.
//
// Thread safety: every member may be called from any thread at any time.
class FrameStore {
public:
    struct Frame {
        Image image;
        MediaTime timestamp;
    };

    FrameStore() = default;
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // Adds one frame at the end. The image is shared, never copied or scaled.
    void append(const Image& image, const MediaTime& timestamp);

    // Every frame in the order appended, leaving the store empty; no append
    // can fall between the read and the emptying.
    std::vector<Frame> drain();

    // Number of frames held now (for progress displays and tests).
    size_t count() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Frame> m_frames;
};

}  // namespace mirelo
