#pragma once

#include "capture/CaptureBackend.h"
#include "capture/FrameStore.h"
#include "capture/PauseTimeline.h"

#include <QMetaType>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo {

// A failed recording step, as a value; i18n::describe() words it.
struct RecorderError {
    enum class Kind {
        noPermission,     // the screen may not be captured
        displayNotFound,  // no display lies under the region
        noFrames,         // the recording delivered nothing (or none was running)
        platform,         // the capture service failed; its own description is shown
        busy,             // a start or stop is still under way
        store,            // the recording's store failed (`storeError`)
        // Where one monitor is shared at a time (a screen-sharing dialog): another monitor
        // than the one under the region was shared, or which one cannot be told. The
        // region's display is named in displayName.
        otherMonitorShared,
        monitorUnidentified,
        noRoomToRecord,  // the disk of `folder` lacks `neededBytes` free: nothing was recorded
    };

    Kind kind = Kind::noFrames;
    // Kind::platform; for Kind::noPermission, the platform's account of the refusal if any
    // (the platform layer words it in the interface's language)
    QString platformDescription;
    StoreError storeError;
    // Kind::otherMonitorShared, Kind::monitorUnidentified: the region's display
    QString displayName;
    // Kind::noRoomToRecord
    QString folder;
    qint64 neededBytes = 0;

    static RecorderError noPermission() { return {Kind::noPermission, {}, {}}; }
    static RecorderError displayNotFound() { return {Kind::displayNotFound, {}, {}}; }
    static RecorderError noFrames() { return {Kind::noFrames, {}, {}}; }
    static RecorderError platform(const QString& description) {
        return {Kind::platform, description, {}};
    }
    static RecorderError busy() { return {Kind::busy, {}}; }
    static RecorderError storeFailed(const StoreError& error) { return {Kind::store, {}, error}; }
    static RecorderError noRoomToRecord(const QString& folder, qint64 neededBytes) {
        RecorderError error;
        error.kind = Kind::noRoomToRecord;
        error.folder = folder;
        error.neededBytes = neededBytes;
        return error;
    }

    friend bool operator==(const RecorderError&, const RecorderError&) = default;
};

// One screen of the windowing system's screen list (primary first), as far as capture cares.
struct ScreenInfo {
    QString name;                  // as QScreen::name()
    qreal devicePixelRatio = 1.0;  // device pixels per point
};

// The current screen list; the default reads QGuiApplication::screens().
using ScreenListFn = std::function<std::vector<ScreenInfo>()>;
std::vector<ScreenInfo> currentScreens();

// Turns a rectangle of the desktop into a stream of images collected in a FrameStore.
//
// Lives on the main thread; every completion and signal is delivered there, never from inside
// the call that started the work. Backend calls run on a worker thread, so start() and stop()
// return at once. The permission answer and the display list are cached so that a start does
// not wait for the platform.
class ScreenRecorder : public QObject {
    Q_OBJECT
public:
    // Success is std::nullopt.
    using StartCompletion = std::function<void(std::optional<RecorderError> error)>;
    // Either the frames of the recording in order (never empty) or an error (frames empty).
    using StopCompletion = std::function<void(std::vector<FrameStore::Frame> frames,
                                              std::optional<RecorderError> error)>;

    // Recordings go to a RecordingStore made with `store` (the cache folder by default).
    explicit ScreenRecorder(std::shared_ptr<CaptureBackend> backend,
                            ScreenListFn screens = currentScreens, QObject* parent = nullptr,
                            StoreOptions store = {});
    ~ScreenRecorder() override;

    // Refreshes the cached permission answer and display list in the background.
    void prewarmShareableContent();

    // Begins capturing `region` (global desktop coordinates, points) at no more than `fps`
    // frames per second. Frames left over from an earlier recording are discarded first.
    void start(const QRectF& region, double fps, bool showsCursor, StartCompletion completion);
    // Begins capturing one window wherever it goes, at its size when the stream starts. When
    // the window closes, sourceClosed() is emitted and stop() collects the frames as usual.
    // Fails with platform when the backend cannot follow windows (recordsWindows()).
    void startWindow(const CaptureWindow& window, double fps, bool showsCursor,
                     StartCompletion completion);
    bool recordsWindows() const { return m_backend->recordsWindows(); }

    // Ends the stream and hands over the frames of this recording. Fails with noFrames when no
    // stream runs or nothing was captured; when the platform fails to stop, the stream and the
    // frames so far are kept and the platform's error is reported.
    void stop(StopCompletion completion);

    // A stream is present (from a successful start to a successful stop). Stays true after
    // streamFailed(): stop() then collects what was captured.
    bool isCapturing() const { return m_state == State::capturing; }

    // Pausing leaves the frames that arrive out of the recording until resume(); the pause is
    // taken out of the frames' times, so the frames before and after it follow each other one
    // frame interval apart. Both answer false, changing nothing, when no stream is capturing or
    // the recording is already in the state asked for. A new recording starts unpaused.
    bool pause();
    bool resume();
    bool isPaused() const;

    // The recording leaves out the frames taken before `time` (on the backends' steady clock,
    // captureclock::mediaTime), so that it begins there: for the stream that runs now, and for
    // the one that the next start() begins. An invalid time keeps every frame.
    void keepFramesFrom(const MediaTime& time);

    FrameStore& frameStore() { return m_frameStore; }

    // Where the backend records one display at a time and `region` reaches past the display
    // under its centre (by the cached display list): that display's name. What lies beyond
    // it is recorded black.
    std::optional<QString> displayCutting(const QRectF& region) const;
    // Which key presses and clicks the next recordings keep beside their frames (none at
    // first). Pauses leave them out as they leave out frames.
    void setInputCapture(InputCapture capture) { m_inputCapture = capture; }
    InputCapture inputCapture() const { return m_inputCapture; }
    // The input events of the last recording that stopped, `seconds` after its first frame;
    // set before the stop's completion runs.
    const std::vector<InputEvent>& lastInputEvents() const { return m_lastInputEvents; }

    // What the backend counted during the last recording that stopped (frames the schedule
    // skipped, reads that came late); set before the stop's completion runs. The frames the
    // store dropped are FrameStore::droppedFrames().
    const CaptureStats& lastStreamStats() const { return m_lastStreamStats; }

    // Read-only views of the caches, for tests and diagnostics.
    bool cachedPermissionGranted() const { return m_cachedPermissionGranted; }
    const std::optional<std::vector<CaptureDisplay>>& cachedDisplays() const {
        return m_cachedDisplays;
    }

signals:
    // The running stream ended by itself. The frames captured so far stay in the store; call
    // stop() to collect them.
    void streamFailed(const mirelo::RecorderError& error);
    // What the running stream recorded went away (the window closed). The frames captured so
    // far stay in the store; call stop() to collect them.
    void sourceClosed();

private:
    enum class State { idle, starting, capturing, stopping };

    void runInBackground(std::function<void()> work);
    template <typename F>
    void onMainThread(F&& body);
    // What a start records: a region of the desktop, or a window when `window` is set.
    struct Source {
        QRectF region;
        std::optional<CaptureWindow> window;
    };
    void beginStart(const Source& source, double fps, bool showsCursor, StartCompletion completion);
    void continueStart(const Source& source, double fps, bool showsCursor,
                       StartCompletion completion);
    void startWithDisplays(const std::vector<CaptureDisplay>& displays, const QRectF& region,
                           double fps, bool showsCursor, StartCompletion completion);
    void startStream(const CaptureConfiguration& configuration, double fps,
                     StartCompletion completion);
    void finishStart(std::optional<RecorderError> error, bool reachedBackend,
                     StartCompletion completion);

    std::shared_ptr<CaptureBackend> m_backend;
    ScreenListFn m_screens;
    FrameStore m_frameStore;
    State m_state = State::idle;
    // The state a start began in: a stream kept from a failed stop is ended only when the new
    // one is about to start, so an earlier failure leaves it in place.
    State m_stateBeforeStart = State::idle;
    bool m_cachedPermissionGranted = false;
    std::optional<std::vector<CaptureDisplay>> m_cachedDisplays;
    // Frames carry the number of the stream they came from; only the current one is kept.
    std::shared_ptr<std::atomic<uint64_t>> m_currentStream;
    // The pauses of the current stream; shared with its sink.
    std::shared_ptr<PauseTimeline> m_timeline;
    uint64_t m_streamCount = 0;
    MediaTime m_keepFrom;
    CaptureStats m_lastStreamStats;
    InputCapture m_inputCapture = InputCapture::none;
    std::vector<InputEvent> m_lastInputEvents;
    // The backend's calls, one at a time in the order they were asked for.
    // A pool of its own rather than workerPool(): that pool runs calls side
    // by side and in no set order, and a start would queue behind an export.
    QThreadPool m_worker;
};

}  // namespace mirelo

Q_DECLARE_METATYPE(mirelo::RecorderError)
