#pragma once

#include "capture/CaptureBackend.h"

#include <mutex>
#include <optional>

namespace mirelo::test {

// A capture service under the test's control: permission, displays and
// start/stop failures are set beforehand; frames and a stream failure are
// pushed by the test through the sink the running stream received.
class FakeCaptureBackend : public CaptureBackend {
public:
    bool permission = true;
    std::vector<CaptureDisplay> displayList{
        {1, QStringLiteral("fake"), QRect(-4000, -4000, 8000, 8000)}};
    std::optional<CaptureFailure> startFailure;
    std::optional<CaptureFailure> stopFailure;

    bool checkPermission() override { return permission; }
    void requestPermission() override {}
    DisplayListResult displays() override { return {displayList, std::nullopt}; }

    std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                              CaptureSink sink) override {
        std::lock_guard lock(m_mutex);
        ++starts;
        if (startFailure) {
            return startFailure;
        }
        m_configuration = configuration;
        m_sink = std::move(sink);
        return std::nullopt;
    }

    std::optional<CaptureFailure> stopStream() override {
        std::lock_guard lock(m_mutex);
        if (stopFailure) {
            return stopFailure;
        }
        m_sink = {};
        return std::nullopt;
    }

    // Delivers `count` frames of `image` to the running stream, if any.
    void deliver(const Image& image, int count) {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < count && m_sink.frame; ++i) {
            m_sink.frame(image, MediaTime{i, 15, MediaTime::Valid});
        }
    }

    // The running stream ends by itself.
    void fail(const QString& message) {
        std::lock_guard lock(m_mutex);
        if (m_sink.failed) {
            m_sink.failed(CaptureFailure{message});
        }
        m_sink = {};
    }

    std::optional<CaptureConfiguration> configuration() {
        std::lock_guard lock(m_mutex);
        return m_configuration;
    }

    int starts = 0;

private:
    std::mutex m_mutex;
    CaptureSink m_sink;
    std::optional<CaptureConfiguration> m_configuration;
};

}  // namespace mirelo::test
