#pragma once

#include "capture/CaptureBackend.h"

#include <mutex>
#include <optional>
#include <vector>

namespace mirelo::test {

// A capture backend driven by the test: answers are set beforehand, calls are counted, and
// frames are pushed through the sink of the running stream by hand.
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

    // Delivers one frame through the current stream's sink (as the capture thread would),
    // whether or not that stream has been stopped since.
    void deliver(const Image& image, int64_t ticks) {
        CaptureSink current;
        {
            std::lock_guard lock(mutex);
            current = sink;
        }
        if (current.frame) {
            current.frame(image, MediaTime{ticks, 30, MediaTime::Valid});
        }
    }
    void fail(const QString& message) {
        CaptureSink current;
        {
            std::lock_guard lock(mutex);
            current = sink;
            running = false;
        }
        current.failed(CaptureFailure{message});
    }

    template <typename T>
    T read(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }

    std::mutex mutex;
    bool permissionGranted = true;
    std::vector<CaptureDisplay> displayList;
    std::optional<CaptureFailure> displayFailure;
    std::optional<CaptureFailure> startFailure;
    std::optional<CaptureFailure> stopFailure;
    int permissionChecks = 0;
    int permissionRequests = 0;
    int displayQueries = 0;
    int starts = 0;
    int stops = 0;
    bool running = false;
    CaptureConfiguration lastConfiguration;
    CaptureSink sink;
};

}  // namespace mirelo::test
