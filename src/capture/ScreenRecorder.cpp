#include "capture/ScreenRecorder.h"

#include "capture/CaptureGeometry.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>

#include <mutex>
#include <optional>
#include <utility>

namespace mirelo {

std::vector<ScreenInfo> currentScreens() {
    std::vector<ScreenInfo> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(ScreenInfo{screen->name(), screen->devicePixelRatio()});
    }
    return screens;
}

ScreenRecorder::ScreenRecorder(std::shared_ptr<CaptureBackend> backend, ScreenListFn screens,
                               QObject* parent, StoreOptions store)
    : QObject(parent),
      m_backend(std::move(backend)),
      m_screens(std::move(screens)),
      m_frameStore(std::move(store)),
      m_currentStream(std::make_shared<std::atomic<uint64_t>>(0)) {
    qRegisterMetaType<RecorderError>();
    // One worker: backend calls never overlap and run in the order they were asked for.
    m_worker.setMaxThreadCount(1);
    // The disk filled up or failed: the recording ends as if the stream had, keeping its frames.
    m_frameStore.setFailureHandler([this](const StoreError& error) {
        const uint64_t stream = m_currentStream->load();
        QMetaObject::invokeMethod(
            this,
            [this, stream, error] {
                if (m_state == State::capturing && m_currentStream->load() == stream) {
                    emit streamFailed(RecorderError::storeFailed(error));
                }
            },
            Qt::QueuedConnection);
    });
}

ScreenRecorder::~ScreenRecorder() {
    m_worker.waitForDone();
    if (m_state != State::idle) {
        // The sink writes into our frame store: the stream must end before the store does.
        m_currentStream->store(0);
        m_backend->stopStream();
    }
}

void ScreenRecorder::runInBackground(std::function<void()> work) {
    m_worker.start(std::move(work));
}

// Queues `body` for the main thread. Events posted to a destroyed object are discarded, and the
// destructor waits for the worker first, so `this` is valid whenever the body runs.
template <typename F>
void ScreenRecorder::onMainThread(F&& body) {
    QMetaObject::invokeMethod(this, std::forward<F>(body), Qt::QueuedConnection);
}

void ScreenRecorder::prewarmShareableContent() {
    auto backend = m_backend;
    runInBackground([this, backend] {
        const bool granted = backend->checkPermission();
        DisplayListResult list = backend->displays();
        onMainThread([this, granted, list] {
            if (granted) {
                m_cachedPermissionGranted = true;
            }
            if (!list.failure) {
                m_cachedDisplays = list.displays;
            }
        });
    });
}

void ScreenRecorder::start(const QRectF& region, double fps, bool showsCursor,
                           StartCompletion completion) {
    beginStart(Source{region, std::nullopt}, fps, showsCursor, std::move(completion));
}

void ScreenRecorder::startWindow(const CaptureWindow& window, double fps, bool showsCursor,
                                 StartCompletion completion) {
    beginStart(Source{QRectF(), window}, fps, showsCursor, std::move(completion));
}

void ScreenRecorder::beginStart(const Source& source, double fps, bool showsCursor,
                                StartCompletion completion) {
    if (m_state == State::starting || m_state == State::stopping) {
        onMainThread([completion] { completion(RecorderError::busy()); });
        return;
    }
    m_stateBeforeStart = m_state;
    m_state = State::starting;

    if (m_cachedPermissionGranted) {
        continueStart(source, fps, showsCursor, std::move(completion));
        return;
    }
    auto backend = m_backend;
    runInBackground([=, this] {
        const bool granted = backend->checkPermission();
        if (!granted) {
            backend->requestPermission();
        }
        onMainThread([=, this] {
            if (!granted) {
                finishStart(RecorderError::noPermission(), false, completion);
                return;
            }
            m_cachedPermissionGranted = true;
            continueStart(source, fps, showsCursor, completion);
        });
    });
}

void ScreenRecorder::continueStart(const Source& source, double fps, bool showsCursor,
                                   StartCompletion completion) {
    if (source.window) {
        if (!m_backend->recordsWindows()) {
            finishStart(RecorderError::platform({}), false, std::move(completion));
            return;
        }
        // The window's size and place are the backend's to find when the stream starts.
        CaptureConfiguration configuration;
        configuration.window = source.window;
        configuration.minimumFrameInterval = CaptureGeometry::frameInterval(fps);
        configuration.showsCursor = showsCursor;
        startStream(configuration, fps, std::move(completion));
        return;
    }
    const QRectF region = source.region;
    if (m_cachedDisplays) {
        const std::vector<CaptureDisplay> displays = *m_cachedDisplays;
        prewarmShareableContent();
        startWithDisplays(displays, region, fps, showsCursor, std::move(completion));
        return;
    }
    auto backend = m_backend;
    runInBackground([=, this] {
        const DisplayListResult list = backend->displays();
        onMainThread([=, this] {
            if (list.failure) {
                finishStart(RecorderError::platform(list.failure->message), false, completion);
                return;
            }
            m_cachedDisplays = list.displays;
            startWithDisplays(list.displays, region, fps, showsCursor, completion);
        });
    });
}

void ScreenRecorder::startWithDisplays(const std::vector<CaptureDisplay>& displays,
                                       const QRectF& region, double fps, bool showsCursor,
                                       StartCompletion completion) {
    const std::optional<CaptureConfiguration> configuration =
        CaptureGeometry::configure(region, fps, showsCursor, displays, m_screens());
    if (!configuration) {
        finishStart(RecorderError::displayNotFound(), false, std::move(completion));
        return;
    }
    startStream(*configuration, fps, std::move(completion));
}

void ScreenRecorder::startStream(const CaptureConfiguration& configuration, double fps,
                                 StartCompletion completion) {
    // A new stream number: whatever an earlier stream still delivers is dropped at the sink.
    const uint64_t stream = ++m_streamCount;
    m_currentStream->store(stream);

    CaptureSink sink;
    FrameStore* store = &m_frameStore;
    std::shared_ptr<std::atomic<uint64_t>> current = m_currentStream;
    auto timeline = std::make_shared<PauseTimeline>(configuration.minimumFrameInterval);
    timeline->keepFrom(m_keepFrom);
    m_keepFrom = {};
    m_timeline = timeline;
    const InputCapture inputCapture = m_inputCapture;
    // The last pointer position reported during a pause: the pointer is still there when the
    // recording goes on, so the first frame after the pause takes it.
    struct PausedPointer {
        std::mutex mutex;
        std::optional<InputEvent> event;
    };
    std::shared_ptr<PausedPointer> pausedPointer;
    if (inputCapture != InputCapture::none) {
        pausedPointer = std::make_shared<PausedPointer>();
    }
    sink.frame = [store, current, stream, timeline, pausedPointer](const Image& image,
                                                                   const MediaTime& timestamp) {
        if (current->load() != stream || image.isNull()) {
            return;
        }
        if (const std::optional<MediaTime> placed = timeline->place(timestamp)) {
            store->append(image, *placed);
            if (pausedPointer) {
                std::optional<InputEvent> pointer;
                {
                    std::lock_guard lock(pausedPointer->mutex);
                    pointer = std::exchange(pausedPointer->event, std::nullopt);
                }
                if (pointer) {
                    pointer->time = *placed;
                    store->appendInput(*pointer);
                }
            }
        }
    };
    if (inputCapture != InputCapture::none) {
        // Keys the choice leaves out are never stored, not even for a moment.
        sink.input = [store, current, stream, timeline, inputCapture,
                      pausedPointer](const InputEvent& event) {
            if (current->load() != stream || !keeps(inputCapture, event)) {
                return;
            }
            const std::optional<MediaTime> placed = timeline->placeEvent(event.time);
            const bool pointer = event.kind == InputEvent::Kind::pointerMove;
            std::lock_guard lock(pausedPointer->mutex);
            if (!placed) {
                if (pointer) {
                    pausedPointer->event = event;
                }
                return;
            }
            // A position after the pause is newer than one kept from it.
            if (pointer) {
                pausedPointer->event.reset();
            }
            InputEvent kept = event;
            kept.time = *placed;
            store->appendInput(kept);
        };
    }
    // The recorder's destructor stops the stream, and so waits for this callback, before the
    // object goes away; the QPointer covers the posted call.
    QPointer<ScreenRecorder> self(this);
    sink.failed = [self, current, stream](const CaptureFailure& failure) {
        if (current->load() != stream) {
            return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, stream, failure] {
                if (self && self->m_streamCount == stream && self->m_state == State::capturing &&
                    self->m_currentStream->load() == stream) {
                    if (failure.sourceClosed) {
                        emit self->sourceClosed();
                    } else {
                        emit self->streamFailed(RecorderError::platform(failure.message));
                    }
                }
            },
            Qt::QueuedConnection);
    };

    auto backend = m_backend;
    const bool replaceStream = m_stateBeforeStart == State::capturing;
    CaptureConfiguration config = configuration;
    config.inputCapture = inputCapture;
    runInBackground([=, this] {
        if (replaceStream) {
            // A stream whose stop failed earlier may still run; end it before the new one.
            backend->stopStream();
        }
        // Late frames of the previous recording never open this one; this one goes to disk.
        std::optional<CaptureFailure> failure;
        std::optional<RecorderError> refused;
        const std::optional<StoreError> storeFailure = store->begin(fps);
        if (storeFailure) {
            if (storeFailure->noRoomToStart) {
                refused =
                    RecorderError::noRoomToRecord(storeFailure->folder, storeFailure->neededBytes);
            }
            failure = CaptureFailure{};
        } else {
            failure = backend->startStream(config, sink);
            if (failure) {
                store->drain();
            }
        }
        onMainThread([=, this] {
            if (failure) {
                // The next start checks the permission again and reads a fresh display list.
                m_cachedPermissionGranted = false;
                m_cachedDisplays.reset();
                m_currentStream->store(0);
                RecorderError error = RecorderError::platform(failure->message);
                if (refused) {
                    error = *refused;
                } else if (storeFailure) {
                    error = RecorderError::storeFailed(*storeFailure);
                } else if (failure->noPermission) {
                    error = RecorderError{RecorderError::Kind::noPermission, failure->message};
                } else if (failure->monitor == CaptureFailure::Monitor::otherShared) {
                    error = RecorderError{.kind = RecorderError::Kind::otherMonitorShared,
                                          .displayName = failure->displayName};
                } else if (failure->monitor == CaptureFailure::Monitor::unidentified) {
                    error = RecorderError{.kind = RecorderError::Kind::monitorUnidentified,
                                          .displayName = failure->displayName};
                }
                finishStart(error, true, completion);
                return;
            }
            finishStart(std::nullopt, true, completion);
        });
    });
}

std::optional<QString> ScreenRecorder::displayCutting(const QRectF& region) const {
    if (!m_backend->recordsOneDisplay() || !m_cachedDisplays) {
        return std::nullopt;
    }
    const std::vector<ScreenInfo> screens = m_screens();
    const QPointF centre = region.center();
    for (const CaptureDisplay& display : *m_cachedDisplays) {
        const double ratio = CaptureGeometry::screenScale(display, screens).value_or(1.0);
        const QRectF frame = CaptureGeometry::displayFrame(display, ratio);
        if (frame.contains(centre)) {
            if (frame.contains(region)) {
                return std::nullopt;
            }
            return display.name;
        }
    }
    return std::nullopt;
}

void ScreenRecorder::finishStart(std::optional<RecorderError> error, bool reachedBackend,
                                 StartCompletion completion) {
    if (!error) {
        m_state = State::capturing;
    } else if (!reachedBackend && m_stateBeforeStart == State::capturing) {
        // The stream kept from a failed stop was not touched.
        m_state = State::capturing;
    } else {
        m_state = State::idle;
    }
    // Always from the event loop, never from inside start() itself.
    if (completion) {
        onMainThread([completion, error] { completion(error); });
    }
}

bool ScreenRecorder::pause() {
    return m_state == State::capturing && m_timeline && m_timeline->pause();
}

bool ScreenRecorder::resume() {
    return m_state == State::capturing && m_timeline && m_timeline->resume();
}

void ScreenRecorder::keepFramesFrom(const MediaTime& time) {
    if (m_state == State::capturing && m_timeline) {
        m_timeline->keepFrom(time);
        return;
    }
    m_keepFrom = time;
}

bool ScreenRecorder::isPaused() const {
    return m_state == State::capturing && m_timeline && m_timeline->isPaused();
}

void ScreenRecorder::stop(StopCompletion completion) {
    if (m_state == State::starting || m_state == State::stopping) {
        onMainThread([completion] { completion({}, RecorderError::busy()); });
        return;
    }
    if (m_state != State::capturing) {
        onMainThread([completion] { completion({}, RecorderError::noFrames()); });
        return;
    }
    m_state = State::stopping;
    auto backend = m_backend;
    FrameStore* store = &m_frameStore;
    runInBackground([=, this] {
        const std::optional<CaptureFailure> failure = backend->stopStream();
        // The writer finishes the queued frames here, not on the main thread.
        std::vector<FrameStore::Frame> drained;
        std::vector<InputEvent> events;
        CaptureStats stats;
        if (!failure) {
            stats = backend->streamStats();
            drained = store->drain();
            events = store->lastInputEvents();
        }
        onMainThread([=, this, frames = std::move(drained)]() mutable {
            if (failure) {
                m_state = State::capturing;
                completion({}, RecorderError::platform(failure->message));
                return;
            }
            m_state = State::idle;
            m_lastStreamStats = stats;
            m_lastInputEvents = events;
            m_currentStream->store(0);
            if (frames.empty()) {
                completion({}, RecorderError::noFrames());
                return;
            }
            completion(std::move(frames), std::nullopt);
        });
    });
}

}  // namespace mirelo
