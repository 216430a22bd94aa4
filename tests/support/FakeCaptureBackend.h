#pragma once

#include "capture/CaptureBackend.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace mirelo::test {

// A capture backend driven by the test: answers are set beforehand, calls are counted, and
// frames and a stream failure are pushed through the sink of the running stream by hand.
// Fields are guarded by `mutex` (read them with read() while a stream may run).
class FakeCaptureBackend : public CaptureBackend {
public:
    bool checkPermission() override {
        std::lock_guard lock(mutex);
        ++permissionChecks;
        return permissionGranted;
    }
    void requestPermission() override {
        std::lock_guard lock(mutex);
        ++permissionRequests;
    }
    DisplayListResult displays() override {
        std::lock_guard lock(mutex);
        ++displayQueries;
        if (displayFailure) {
            return {{}, displayFailure};
        }
        return {displayList, std::nullopt};
    }

    std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                              CaptureSink newSink) override {
        std::lock_guard lock(mutex);
        ++starts;
        lastConfiguration = configuration;
        if (startFailure) {
            return startFailure;
        }
        sink = std::move(newSink);
        running = true;
        m_nextFrame = 0;
        return std::nullopt;
    }

    std::optional<CaptureFailure> stopStream() override {
        std::lock_guard lock(mutex);
        ++stops;
        if (stopFailure) {
            return stopFailure;
        }
        running = false;
        return std::nullopt;
    }

    // Delivers one frame at `ticks` / 30 s through the latest stream's sink (as the capture
    // thread would), whether or not that stream has been stopped since.
    void deliverAt(const Image& image, int64_t ticks) {
        CaptureSink current;
        {
            std::lock_guard lock(mutex);
            current = sink;
        }
        if (current.frame) {
            current.frame(image, MediaTime{ticks, 30, MediaTime::Valid});
        }
    }

    // Delivers `count` frames of `image` to the running stream, if any, one frame interval of
    // its configuration apart and on after the frames delivered before.
    void deliver(const Image& image, int count) {
        CaptureSink current;
        MediaTime interval;
        int64_t first = 0;
        {
            std::lock_guard lock(mutex);
            if (!running) {
                return;
            }
            current = sink;
            interval = lastConfiguration.minimumFrameInterval;
            first = m_nextFrame;
            m_nextFrame += count;
        }
        for (int i = 0; i < count && current.frame; ++i) {
            current.frame(image, MediaTime{(first + i) * interval.value, interval.timescale,
                                           MediaTime::Valid});
        }
    }

    // Reports one input event at `ticks` / 30 s through the latest stream's sink.
    void inputAt(InputEvent event, int64_t ticks) {
        CaptureSink current;
        {
            std::lock_guard lock(mutex);
            current = sink;
        }
        event.time = MediaTime{ticks, 30, MediaTime::Valid};
        if (current.input) {
            current.input(event);
        }
    }

    // The running stream ends by itself; `sourceClosed`: because its window closed.
    void fail(const QString& message, bool sourceClosed = false) {
        CaptureSink current;
        {
            std::lock_guard lock(mutex);
            if (!running) {
                return;
            }
            current = sink;
            running = false;
        }
        if (current.failed) {
            CaptureFailure failure{message};
            failure.sourceClosed = sourceClosed;
            current.failed(failure);
        }
    }

    bool recordsWindows() const override { return windows; }

    template <typename T>
    T read(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }

    std::mutex mutex;
    bool permissionGranted = true;
    std::vector<CaptureDisplay> displayList{
        {1, QStringLiteral("fake"), QRect(-4000, -4000, 8000, 8000)}};
    std::optional<CaptureFailure> displayFailure;
    std::optional<CaptureFailure> startFailure;
    std::optional<CaptureFailure> stopFailure;
    int permissionChecks = 0;
    int permissionRequests = 0;
    int displayQueries = 0;
    int starts = 0;
    int stops = 0;
    bool running = false;
    bool windows = false;  // streams can follow a window
    CaptureConfiguration lastConfiguration;
    CaptureSink sink;

private:
    int64_t m_nextFrame = 0;
};

}  // namespace mirelo::test
