#include "platform/x11/X11CaptureBackend.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameGrabber.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace mirelo {

namespace {

using Clock = std::chrono::steady_clock;

const QString kCannotConnect = QStringLiteral("无法连接到 X 显示服务器。");
const QString kDisplayGone = QStringLiteral("录制的显示器已断开。");

// How often a running stream checks that its display is still attached.
constexpr auto kLayoutCheckInterval = std::chrono::milliseconds(500);

MediaTime mediaTime(Clock::time_point time) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return MediaTime{ns, 1'000'000'000, MediaTime::Valid, 0};
}

Clock::duration period(const MediaTime& interval) {
    const double seconds = interval.isValid() && interval.value > 0 ? interval.seconds() : 1.0;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// One running stream: a connection and a thread of its own.
class Stream {
public:
    Stream(const QByteArray& displayName, const CaptureConfiguration& configuration,
           CaptureSink sink)
        : m_configuration(configuration),
          m_sink(std::move(sink)),
          m_connection(displayName),
          m_grabber(m_connection, configuration.sourcePixels, configuration.outputSize,
                    configuration.showsCursor) {}

    ~Stream() { stop(); }

    // Checks that frames can be read; nothing runs until start().
    std::optional<CaptureFailure> prepare() {
        if (!m_connection.ok()) {
            return CaptureFailure{kCannotConnect};
        }
        if (m_grabber.failure()) {
            return CaptureFailure{*m_grabber.failure()};
        }
        if (!m_grabber.hasMonitor(m_configuration.displayId)) {
            return CaptureFailure{kDisplayGone};
        }
        return std::nullopt;
    }

    void start() {
        m_thread = std::thread([this] { run(); });
    }

    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    // Waits until `deadline`; false when asked to stop meanwhile.
    bool waitUntil(Clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_until(lock, deadline, [this] { return m_stopping; });
    }

    void fail(const QString& message) {
        if (m_sink.failed) {
            m_sink.failed(CaptureFailure{message});
        }
    }

    // Frames fall on the grid start + n x period of the monotonic clock, so the rate does not
    // drift with the time each frame takes. A frame that comes more than a period late skips
    // the deadlines it missed instead of catching up with a burst. The sink is called before
    // the next read, so one frame at most is in flight, well inside the queue depth.
    void run() {
        const Clock::duration step = period(m_configuration.minimumFrameInterval);
        const Clock::time_point start = Clock::now();
        Clock::time_point nextLayoutCheck = start + kLayoutCheckInterval;
        int64_t index = 0;
        while (waitUntil(start + index * step)) {
            const Clock::time_point captured = Clock::now();
            if (!m_connection.ok()) {
                fail(QStringLiteral("与 X 显示服务器的连接已断开。"));
                return;
            }
            if (captured >= nextLayoutCheck) {
                nextLayoutCheck = captured + kLayoutCheckInterval;
                m_grabber.updateLayout();
                if (!m_connection.ok()) {
                    fail(QStringLiteral("与 X 显示服务器的连接已断开。"));
                    return;
                }
                if (!m_grabber.hasMonitor(m_configuration.displayId)) {
                    fail(kDisplayGone);
                    return;
                }
            }
            const Image image = m_grabber.grab();
            if (image.isNull()) {
                fail(m_grabber.failure().value_or(QStringLiteral("读取屏幕画面失败。")));
                return;
            }
            // Errors of unchecked requests arrive as events; nothing else is selected.
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection.get())) {
                std::free(event);
            }
            m_sink.frame(image, mediaTime(captured));

            const int64_t due = (Clock::now() - start) / step;  // last deadline already passed
            index = std::max(index + 1, due);
        }
    }

    CaptureConfiguration m_configuration;
    CaptureSink m_sink;
    x11::Connection m_connection;
    x11::FrameGrabber m_grabber;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};

class X11CaptureBackend : public CaptureBackend {
public:
    explicit X11CaptureBackend(QByteArray displayName) : m_displayName(std::move(displayName)) {}
    ~X11CaptureBackend() override { m_stream.reset(); }

    // X has no capture permission: reading the root window either works or it does not.
    bool checkPermission() override {
        x11::Connection connection(m_displayName);
        if (!connection.ok()) {
            return false;
        }
        xcb_connection_t* c = connection.get();
        x11::Reply<xcb_get_image_reply_t> pixel(xcb_get_image_reply(
            c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, connection.root(), 0, 0, 1, 1, ~0u),
            nullptr));
        return pixel != nullptr;
    }

    void requestPermission() override {}

    DisplayListResult displays() override {
        x11::Connection connection(m_displayName);
        if (!connection.ok()) {
            return {{}, CaptureFailure{kCannotConnect}};
        }
        DisplayListResult result;
        for (const x11::Monitor& monitor : connection.monitors()) {
            result.displays.push_back(CaptureDisplay{monitor.id, monitor.name, monitor.frame});
        }
        if (!connection.ok()) {
            return {{}, CaptureFailure{kCannotConnect}};
        }
        return result;
    }

    std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                              CaptureSink sink) override {
        m_stream.reset();
        auto stream = std::make_unique<Stream>(m_displayName, configuration, std::move(sink));
        if (std::optional<CaptureFailure> failure = stream->prepare()) {
            return failure;
        }
        stream->start();
        m_stream = std::move(stream);
        return std::nullopt;
    }

    std::optional<CaptureFailure> stopStream() override {
        m_stream.reset();
        return std::nullopt;
    }

private:
    QByteArray m_displayName;
    std::unique_ptr<Stream> m_stream;
};

}  // namespace

std::shared_ptr<CaptureBackend> makeX11CaptureBackend(const QByteArray& displayName) {
    return std::make_shared<X11CaptureBackend>(displayName);
}

}  // namespace mirelo
