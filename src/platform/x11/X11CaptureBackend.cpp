#include "platform/x11/X11CaptureBackend.h"

#include "capture/FramePacer.h"
#include "capture/ThreadScheduling.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FrameGrabber.h"
#include "platform/x11/X11InputMonitor.h"
#include "platform/x11/X11WindowGrabber.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mirelo {

namespace {

using captureclock::Clock;

QString cannotConnectText() {
    return QCoreApplication::translate("mirelo::X11CaptureBackend", "无法连接到 X 显示服务器。");
}
QString displayGoneText() {
    return QCoreApplication::translate("mirelo::X11CaptureBackend", "录制的显示器已断开。");
}
QString connectionLostText() {
    return QCoreApplication::translate("mirelo::X11CaptureBackend",
                                       "与 X 显示服务器的连接已断开。");
}
QString readFailedText() {
    return QCoreApplication::translate("mirelo::X11CaptureBackend", "读取屏幕画面失败。");
}

// How often a running stream checks that its display is still attached.
constexpr auto kLayoutCheckInterval = std::chrono::milliseconds(500);

using captureclock::mediaTime;

// One running stream: a connection of its own, a thread that reads the screen on schedule and
// one that converts what was read and hands it to the sink. Up to queueDepth reads wait for
// conversion; beyond that a deadline passes without a read.
class Stream {
public:
    Stream(const QByteArray& displayName, const CaptureConfiguration& configuration,
           CaptureSink sink, std::shared_ptr<PacingClock> clock)
        : m_configuration(configuration),
          m_sink(std::move(sink)),
          m_pacer(configuration.minimumFrameInterval, std::move(clock)),
          m_connection(displayName) {
        const int slotCount = std::max(1, configuration.queueDepth);
        QRect source = configuration.sourcePixels;
        QSize output = configuration.outputSize;
        if (configuration.window) {
            m_window = std::make_unique<x11::WindowGrabber>(m_connection, *configuration.window,
                                                            configuration.showsCursor, slotCount);
            source = m_window->rootFrame();
            output = m_window->size();
        } else {
            m_screen = std::make_unique<x11::FrameGrabber>(m_connection, source, output,
                                                           configuration.showsCursor, slotCount);
        }
        if (configuration.inputCapture != InputCapture::none && m_sink.input && !source.isEmpty()) {
            m_input =
                std::make_unique<x11::InputMonitor>(displayName, source, output, m_sink.input);
            // Clicks land where the window is at the time, not where it was at the start.
            if (m_window) {
                m_input->followWindow(m_window->target());
            }
        }
    }

    ~Stream() { stop(); }

    // Checks that frames can be read; nothing runs until start().
    std::optional<CaptureFailure> prepare() {
        if (!m_connection.ok()) {
            return CaptureFailure{cannotConnectText()};
        }
        if (m_window) {
            if (const std::optional<QString> failure = m_window->failure()) {
                return CaptureFailure{*failure};
            }
            return std::nullopt;
        }
        if (m_screen->failure()) {
            return CaptureFailure{*m_screen->failure()};
        }
        if (!m_screen->hasMonitor(m_configuration.displayId)) {
            return CaptureFailure{displayGoneText()};
        }
        return std::nullopt;
    }

    void start() {
        // A display without XInput 2 records frames only.
        if (m_input && !m_input->start()) {
            m_input.reset();
        }
        m_reader = std::thread([this] { readLoop(); });
        m_converter = std::thread([this] { convertLoop(); });
    }

    // Ends reading; what was read is still converted and delivered before this returns.
    void stop() {
        if (m_input) {
            m_input->stop();
        }
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_pacer.interrupt();
        if (m_reader.joinable()) {
            m_reader.join();
        }
        if (m_converter.joinable()) {
            m_converter.join();
        }
    }

    // What the stream counted; complete once stop() has returned.
    CaptureStats stats() const {
        CaptureStats stats = m_stats;
        const FramePacer::Counts& pacer = m_pacer.counts();
        stats.deadlinesSkipped = pacer.skipped;
        stats.lateFrames = pacer.lateFrames;
        stats.lateness = pacer.lateness;
        stats.worstLateness = pacer.worstLateness;
        stats.lateAfterOverrun = pacer.lateAfterOverrun;
        return stats;
    }

private:
    struct Pending {
        x11::RawFrame raw;
        Clock::time_point captured;
    };

    // The first failure wins; the stream ends after what was read before it is delivered.
    void setFailure(const QString& message, bool sourceClosed = false) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_failure) {
                m_failure = message;
                m_sourceClosed = sourceClosed;
            }
        }
        m_changed.notify_all();
        m_pacer.interrupt();
    }

    // Reads come when the pacer says a frame is due.
    void readLoop() {
        const std::chrono::nanoseconds waitedBefore = runQueueWait();
        std::optional<Clock::time_point> nextLayoutCheck;
        while (const std::optional<Clock::time_point> due = m_pacer.waitForFrame()) {
            const Clock::time_point captured = *due;
            // A window recording follows its window wherever the screens are.
            if (!m_window && !nextLayoutCheck) {
                nextLayoutCheck = captured + kLayoutCheckInterval;
            } else if (!m_window && captured >= *nextLayoutCheck) {
                nextLayoutCheck = captured + kLayoutCheckInterval;
                m_screen->updateLayout();
                if (m_connection.ok() && !m_screen->hasMonitor(m_configuration.displayId)) {
                    setFailure(displayGoneText());
                    break;
                }
            }
            if (!m_connection.ok()) {
                setFailure(connectionLostText());
                break;
            }
            // The window's moves and resizes are taken before the read, so that it reads the
            // window's current pixmap; once the window is gone the recording ends normally.
            if (m_window && m_window->handleEvents()) {
                setFailure({}, true);
                break;
            }
            x11::RawFrame raw;
            const x11::FrameGrabber::ReadStatus status =
                m_window ? m_window->read(raw) : m_screen->read(raw);
            if (status == x11::FrameGrabber::ReadStatus::failed) {
                const std::optional<QString> failure =
                    m_window ? m_window->failure() : m_screen->failure();
                setFailure(failure.value_or(readFailedText()));
                break;
            }
            if (status == x11::FrameGrabber::ReadStatus::busy) {
                ++m_stats.converterBehind;
            }
            if (status == x11::FrameGrabber::ReadStatus::ok) {
                const std::chrono::nanoseconds took = Clock::now() - captured;
                ++m_stats.framesRead;
                m_stats.readTime += took;
                m_stats.worstReadTime = std::max(m_stats.worstReadTime, took);
                {
                    std::lock_guard lock(m_mutex);
                    m_queue.push_back(Pending{std::move(raw), captured});
                }
                m_changed.notify_all();
            }
            // Errors of unchecked requests arrive as events; nothing else is selected on the
            // screen. The window's events are taken before the next read.
            while (!m_window) {
                xcb_generic_event_t* event = xcb_poll_for_event(m_connection.get());
                if (event == nullptr) {
                    break;
                }
                std::free(event);
            }
        }
        m_stats.readerRunQueueWait = runQueueWait() - waitedBefore;
        {
            std::lock_guard lock(m_mutex);
            m_readerDone = true;
        }
        m_changed.notify_all();
    }

    void convertLoop() {
        const std::chrono::nanoseconds waitedBefore = runQueueWait();
        for (;;) {
            Pending next;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_queue.empty() || m_readerDone; });
                if (m_queue.empty()) {
                    break;
                }
                next = std::move(m_queue.front());
                m_queue.pop_front();
            }
            const Image image = m_window ? m_window->convert(std::move(next.raw))
                                         : m_screen->convert(std::move(next.raw));
            if (image.isNull()) {
                setFailure(readFailedText());  // no memory for the frame: the reader stops too
                continue;
            }
            m_sink.frame(image, mediaTime(next.captured));
        }
        m_stats.converterRunQueueWait = runQueueWait() - waitedBefore;
        std::optional<QString> failure;
        bool sourceClosed = false;
        {
            std::lock_guard lock(m_mutex);
            failure = m_failure;
            sourceClosed = m_sourceClosed;
        }
        if (failure && m_sink.failed) {
            CaptureFailure reported{*failure};
            reported.sourceClosed = sourceClosed;
            m_sink.failed(reported);
        }
    }

    CaptureConfiguration m_configuration;
    CaptureSink m_sink;
    FramePacer m_pacer;
    x11::Connection m_connection;
    // One of them reads: the screen's rectangle or the window.
    std::unique_ptr<x11::FrameGrabber> m_screen;
    std::unique_ptr<x11::WindowGrabber> m_window;
    std::unique_ptr<x11::InputMonitor> m_input;
    std::thread m_reader;
    std::thread m_converter;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Pending> m_queue;
    std::optional<QString> m_failure;
    bool m_sourceClosed = false;
    bool m_stopping = false;
    bool m_readerDone = false;
    // Each thread writes its own fields; read once both have ended.
    CaptureStats m_stats;
};

class X11CaptureBackend : public CaptureBackend {
public:
    X11CaptureBackend(QByteArray displayName, std::shared_ptr<PacingClock> clock)
        : m_displayName(std::move(displayName)), m_clock(std::move(clock)) {}
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
        return listX11Displays(m_displayName, cannotConnectText());
    }

    std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                              CaptureSink sink) override {
        endStream();
        auto stream =
            std::make_unique<Stream>(m_displayName, configuration, std::move(sink), m_clock);
        if (std::optional<CaptureFailure> failure = stream->prepare()) {
            return failure;
        }
        stream->start();
        m_stream = std::move(stream);
        return std::nullopt;
    }

    std::optional<CaptureFailure> stopStream() override {
        endStream();
        return std::nullopt;
    }

    CaptureStats streamStats() override { return m_lastStats; }
    bool recordsWindows() const override { return true; }

private:
    void endStream() {
        if (m_stream) {
            m_stream->stop();
            m_lastStats = m_stream->stats();
            m_stream.reset();
        }
    }

    QByteArray m_displayName;
    std::shared_ptr<PacingClock> m_clock;
    std::unique_ptr<Stream> m_stream;
    CaptureStats m_lastStats;
};

}  // namespace

DisplayListResult listX11Displays(const QByteArray& displayName, const QString& cannotConnect) {
    x11::Connection connection(displayName);
    if (!connection.ok()) {
        return {{}, CaptureFailure{cannotConnect}};
    }
    DisplayListResult result;
    for (const x11::Monitor& monitor : connection.monitors()) {
        result.displays.push_back(CaptureDisplay{monitor.id, monitor.name, monitor.frame});
    }
    // A connection lost while listing lists nothing.
    if (!connection.ok()) {
        return {{}, CaptureFailure{cannotConnect}};
    }
    return result;
}

std::shared_ptr<CaptureBackend> makeX11CaptureBackend(const QByteArray& displayName,
                                                      std::shared_ptr<PacingClock> clock) {
    return std::make_shared<X11CaptureBackend>(displayName,
                                               clock ? std::move(clock) : steadyPacingClock());
}

}  // namespace mirelo
