#pragma once

#include "capture/CaptureBackend.h"
#include "capture/FrameStore.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace mirelo::test {

// Collects what a capture stream delivers, from the capture thread.
struct CaptureCollector {
    CaptureSink sink() {
        CaptureSink s;
        s.frame = [this](const Image& image, const MediaTime& time) {
            std::lock_guard lock(mutex);
            frames.push_back({image, time});
            changed.notify_all();
        };
        s.failed = [this](const CaptureFailure& failure) {
            std::lock_guard lock(mutex);
            failures.push_back(failure.message);
            sourceClosed = failure.sourceClosed;
            framesAtFailure = frames.size();
            changed.notify_all();
        };
        return s;
    }
    bool waitForFrames(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return frames.size() >= count; });
    }
    bool waitForFailure(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return !failures.empty(); });
    }
    std::vector<FrameStore::Frame> taken() {
        std::lock_guard lock(mutex);
        return frames;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<FrameStore::Frame> frames;
    std::vector<QString> failures;
    size_t framesAtFailure = 0;
    bool sourceClosed = false;  // the stream ended because its window went away
};

}  // namespace mirelo::test
