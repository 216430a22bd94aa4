#include "platform/wayland/PortalCaptureBackend.h"

#include "capture/FramePacer.h"
#include "platform/wayland/PipeWireStream.h"
#include "platform/wayland/StreamMonitor.h"
#include "platform/x11/X11CaptureBackend.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

namespace mirelo {

namespace {

using captureclock::Clock;

QString cannotConnectText() {
    return QCoreApplication::translate("mirelo::PortalCaptureBackend",
                                       "无法连接到 XWayland 显示服务器。");
}
QString noPictureText() {
    return QCoreApplication::translate(
        "mirelo::PortalCaptureBackend",
        "屏幕共享的画面流没有开始(PipeWire 的会话管理器,例如 WirePlumber,是否在运行?)。");
}

// How long a new stream may take to run.
constexpr auto kStartTimeout = std::chrono::seconds(5);

using captureclock::mediaTime;

// A position in a picture of `from` pixels as it lies in the frame of `to` pixels.
std::optional<QPoint> scaledPointer(const std::optional<QPoint>& position, const QSize& from,
                                    const QSize& to) {
    if (!position || from.isEmpty() || from == to) {
        return position;
    }
    return QPoint(int(std::floor(position->x() * double(to.width()) / from.width())),
                  int(std::floor(position->y() * double(to.height()) / from.height())));
}

// One running stream: the portal session, the PipeWire stream and the thread that hands out
// frames on schedule.
class Stream {
public:
    Stream(std::unique_ptr<wayland::ScreenCastPortal> portal, QString session,
           std::unique_ptr<wayland::PipeWireStream> pipeWire,
           const CaptureConfiguration& configuration, CaptureSink sink,
           std::shared_ptr<PacingClock> clock)
        : m_portal(std::move(portal)),
          m_session(std::move(session)),
          m_pipeWire(std::move(pipeWire)),
          m_configuration(configuration),
          m_sink(std::move(sink)),
          m_pacer(configuration.minimumFrameInterval, std::move(clock)) {}

    ~Stream() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_pacer.interrupt();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        m_pipeWire.reset();
        m_portal->closeSession(m_session);
    }

    void start() {
        m_thread = std::thread([this] { run(); });
    }

    // From the PipeWire loop: the source went away.
    void wake() { m_pacer.interrupt(); }

private:
    // Each frame the pacer asks for is the newest picture, or the last frame again when none
    // came. Frames keep the stream's own pixels of the region (a monitor with a scale factor
    // gives more pixels than points); should the monitor's scale change midway, later
    // pictures are scaled to the size of the first.
    //
    // Where the stream reports the pointer, its position goes to the sink's `input` whenever
    // it changed, stamped with the frame it is on, before that frame.
    void run() {
        Image last;
        QSize frameSize;
        QSize pictureSize;
        std::optional<QPoint> reported;
        std::optional<QString> failure;
        while (const std::optional<Clock::time_point> tick = m_pacer.waitForFrame()) {
            if ((failure = m_pipeWire->failure())) {
                break;
            }
            Image frame;
            if (m_pipeWire->takePicture(frame)) {
                if (!frameSize.isValid()) {
                    frameSize = frame.size();
                }
                pictureSize = frame.size();
                if (frame.size() != frameSize) {
                    frame = Image::fromQImage(frame.qimage().scaled(
                        frameSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
                }
                last = frame;
            }
            if (last.isNull()) {
                continue;
            }
            if (m_sink.input) {
                if (const std::optional<QPoint> pointer =
                        scaledPointer(m_pipeWire->pointerPosition(), pictureSize, frameSize);
                    pointer && pointer != reported) {
                    reported = pointer;
                    InputEvent moved;
                    moved.kind = InputEvent::Kind::pointerMove;
                    moved.time = mediaTime(*tick);
                    moved.position = *pointer;
                    m_sink.input(moved);
                }
            }
            m_sink.frame(last, mediaTime(*tick));
        }
        // Woken by the source ending rather than by stopStream(): report why.
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            stopping = m_stopping;
        }
        if (!failure && !stopping) {
            failure = m_pipeWire->failure();
        }
        if (failure && m_sink.failed) {
            m_sink.failed(CaptureFailure{*failure});
        }
    }

    std::unique_ptr<wayland::ScreenCastPortal> m_portal;
    QString m_session;
    std::unique_ptr<wayland::PipeWireStream> m_pipeWire;
    CaptureConfiguration m_configuration;
    CaptureSink m_sink;
    FramePacer m_pacer;
    std::thread m_thread;
    std::mutex m_mutex;
    bool m_stopping = false;
};

class PortalCaptureBackend : public CaptureBackend {
public:
    explicit PortalCaptureBackend(PortalCaptureOptions options) : m_options(std::move(options)) {}
    ~PortalCaptureBackend() override { stopStream(); }

    // The portal shares one monitor per stream.
    bool recordsOneDisplay() const override { return true; }

    // The portal's dialog is the permission: it is asked when a stream starts.
    bool checkPermission() override { return true; }
    void requestPermission() override {}

    DisplayListResult displays() override {
        return listX11Displays(m_options.displayName, cannotConnectText());
    }

    std::optional<CaptureFailure> startStream(const CaptureConfiguration& configuration,
                                              CaptureSink sink) override {
        m_stream.reset();
        const QRect source = configuration.sourcePixels;
        // With two monitors, the one under the frame's centre is recorded. XWayland's monitors
        // say where each lies in the compositor's layout (in points), which the portal may not.
        const DisplayListResult listed = displays();
        if (listed.failure) {
            return listed.failure;
        }
        const std::vector<CaptureDisplay>& monitors = listed.displays;
        const std::optional<size_t> wanted = wayland::monitorFor(source, monitors);
        if (!wanted) {
            CaptureFailure failure;
            failure.monitor = CaptureFailure::Monitor::unidentified;
            return failure;
        }
        const CaptureDisplay& monitor = monitors[*wanted];
        auto judge = [&](const wayland::ScreenCastPortal::Stream& stream) {
            switch (wayland::matchStream(stream.area, monitors, *wanted)) {
                case wayland::StreamMonitor::Verdict::wanted:
                    return wayland::StreamFit::wanted;
                case wayland::StreamMonitor::Verdict::other:
                    return wayland::StreamFit::other;
                case wayland::StreamMonitor::Verdict::unidentified:
                    break;
            }
            return wayland::StreamFit::unidentified;
        };
        // The pointer's position is kept with the keys and clicks.
        const bool wantsPointer = configuration.inputCapture != InputCapture::none && sink.input;
        std::unique_ptr<wayland::ScreenCastPortal> portal = m_options.portal();
        std::variant<wayland::OpenScreenCast, wayland::ScreenCastFailure> opened =
            wayland::openScreenCast(*portal, m_options.tokens, configuration.showsCursor, judge,
                                    monitor.name, wantsPointer);
        if (const auto* failed = std::get_if<wayland::ScreenCastFailure>(&opened)) {
            CaptureFailure failure{failed->message, failed->noPermission};
            if (failed->otherMonitor || failed->unidentified) {
                failure.monitor = failed->otherMonitor ? CaptureFailure::Monitor::otherShared
                                                       : CaptureFailure::Monitor::unidentified;
                failure.displayName = monitor.name;
            }
            return failure;
        }
        const auto& cast = std::get<wayland::OpenScreenCast>(opened);
        const double interval = configuration.minimumFrameInterval.seconds();
        const int fps = interval > 0 ? static_cast<int>(std::lround(1.0 / interval)) : 30;
        using PointerMode = wayland::PipeWireStream::PointerMode;
        PointerMode pointerMode =
            configuration.showsCursor ? PointerMode::embedded : PointerMode::hidden;
        if (cast.cursorMode == wayland::ScreenCastPortal::kCursorMetadata) {
            pointerMode =
                configuration.showsCursor ? PointerMode::reportedAndDrawn : PointerMode::reported;
        }
        auto pipeWire = std::make_unique<wayland::PipeWireStream>(
            cast.pipeWireFd, cast.stream.nodeId, source, monitor.pixelFrame, fps, pointerMode);
        pipeWire->setFailureListener([this] {
            std::lock_guard lock(m_listenerMutex);
            if (m_listening) {
                m_listening->wake();
            }
        });
        std::optional<QString> failure = pipeWire->start();
        if (!failure && !pipeWire->waitUntilRunning(kStartTimeout)) {
            failure = pipeWire->failure().value_or(noPictureText());
        }
        if (failure) {
            pipeWire.reset();
            portal->closeSession(cast.session);
            return CaptureFailure{*failure};
        }
        auto running =
            std::make_unique<Stream>(std::move(portal), cast.session, std::move(pipeWire),
                                     configuration, std::move(sink), m_options.clock);
        {
            std::lock_guard lock(m_listenerMutex);
            m_listening = running.get();
        }
        running->start();
        m_stream = std::move(running);
        return std::nullopt;
    }

    std::optional<CaptureFailure> stopStream() override {
        {
            std::lock_guard lock(m_listenerMutex);
            m_listening = nullptr;
        }
        m_stream.reset();
        return std::nullopt;
    }

private:
    PortalCaptureOptions m_options;
    std::unique_ptr<Stream> m_stream;
    // The stream the PipeWire loop wakes when its source ends.
    std::mutex m_listenerMutex;
    Stream* m_listening = nullptr;
};

}  // namespace

std::shared_ptr<CaptureBackend> makePortalCaptureBackend(PortalCaptureOptions options) {
    return std::make_shared<PortalCaptureBackend>(std::move(options));
}

}  // namespace mirelo
