#include "app/AppState.h"

#include "app/Alerts.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

namespace mirelo {

AppState::AppState(AppServices services, QObject* parent)
    : SessionModel(parent), m_services(std::move(services)) {
    Q_ASSERT(m_services.recorder && m_services.alerts);
    connect(m_services.recorder.get(), &ScreenRecorder::streamFailed, this,
            &AppState::onStreamFailed);
    QTimer::singleShot(0, this, &AppState::launch);
}

AppState::~AppState() {
    delete m_editor;
    delete m_recorderWindow;
}

void AppState::launch() {
    showRecorderWindow();
    if (!m_launched) {
        m_launched = true;
        m_services.recorder->prewarmShareableContent();
    }
}

RecorderWindowController* AppState::recorderWindowController() {
    if (!m_recorderWindow) {
        m_recorderWindow = new RecorderWindowController(this);
    }
    return m_recorderWindow;
}

void AppState::showRecorderWindow() {
    recorderWindowController()->showWindow();
}

QWidget* AppState::editorWindow() const {
    return m_editor ? m_editor->window() : nullptr;
}

EditorWindowController* AppState::editor() const {
    return m_editor;
}

// --- Recording flow ---------------------------------------------------------

void AppState::toggleRecording() {
    if (isRecording()) {
        // A stop already under way answers this request too.
        if (!m_isStopping) {
            runStopFlow();
        }
        return;
    }
    if (isStartingRecording()) {
        return;
    }
    setStartingRecording(true);
    QTimer::singleShot(0, this, &AppState::runStartFlow);
}

void AppState::runStartFlow() {
    RecorderWindowController* window = recorderWindowController();
    const QRect region = window->captureRegion();
    // The recording layout takes the outline and header out of the region
    // before the first frame is taken, so that no frame shows them.
    window->setRecordingChrome(true);
    const double fps = static_cast<double>(this->fps());
    const bool cursor = showsCursor();
    QPointer<AppState> self(this);
    QTimer::singleShot(m_chromeSettleMs, this, [self, region, fps, cursor] {
        if (!self) {
            return;
        }
        self->m_streamError.reset();
        self->m_services.recorder->start(
            QRectF(region), fps, cursor, [self](std::optional<RecorderError> error) {
                if (!self) {
                    return;
                }
                self->setStartingRecording(false);
                if (error) {
                    self->recorderWindowController()->setRecordingChrome(false);
                    self->showError(*error);
                    return;
                }
                self->setRecording(true);
            });
    });
}

void AppState::togglePause() {
    if (!isRecording() || m_isStopping) {
        return;
    }
    ScreenRecorder* recorder = m_services.recorder.get();
    if (isPaused() ? recorder->resume() : recorder->pause()) {
        setPaused(recorder->isPaused());
    }
}

void AppState::runStopFlow() {
    m_isStopping = true;
    QPointer<AppState> self(this);
    m_services.recorder->stop(
        [self](std::vector<FrameStore::Frame> frames, std::optional<RecorderError> error) {
            if (self) {
                self->finishStop(std::move(frames), std::move(error));
            }
        });
}

void AppState::finishStop(std::vector<FrameStore::Frame> frames,
                          std::optional<RecorderError> error) {
    m_isStopping = false;
    setPaused(false);
    setRecording(false);
    recorderWindowController()->setRecordingChrome(false);
    // A stream that ended by itself explains the end better than the stop.
    std::optional<RecorderError> streamError = std::exchange(m_streamError, std::nullopt);
    if (error) {
        showError(streamError ? *streamError : *error);
        return;
    }
    std::vector<Image> images;
    images.reserve(frames.size());
    for (const FrameStore::Frame& frame : frames) {
        images.push_back(frame.image);
    }
    openEditor(makeEditorFrames(images, fps()));
    if (streamError) {
        // Over the editor: the recorder window stays hidden while it is open.
        showError(*streamError, false);
    }
}

void AppState::onStreamFailed(const RecorderError& error) {
    if (!isRecording()) {
        return;
    }
    m_streamError = error;
    if (!m_isStopping) {
        runStopFlow();
    }
}

void AppState::openEditor(FrameList frames) {
    if (m_editor) {
        EditorWindowController* previous = m_editor;
        if (previous->window()->isVisible()) {
            // The previous editor stays open on its own and goes when the
            // user closes it; closing it no longer brings the recorder back.
            previous->onClosed = [previous] { previous->deleteLater(); };
            previous->setParent(nullptr);
        } else {
            // Closed already: its frames are of no more use. Nothing of it
            // is on the stack here (the stop flow calls this), so it can go
            // at once.
            delete previous;
        }
        m_editor = nullptr;
    }
    auto* editor = new EditorWindowController(std::move(frames), outputFolder(), this);
    QPointer<AppState> self(this);
    editor->onSaved = [self](const QString& path) {
        if (self) {
            self->revealSavedFile(path);
        }
    };
    editor->onClosed = [self] {
        if (self) {
            self->showRecorderWindow();
        }
    };
    recorderWindowController()->hideWindow();
    QWidget* window = editor->window();
    window->show();
    window->raise();
    window->activateWindow();
    m_editor = editor;
    emit editorOpened(window);
}

void AppState::showError(const RecorderError& error, bool showRecorder) {
    if (showRecorder) {
        showRecorderWindow();
    }
    const bool permission = error.kind == RecorderError::Kind::noPermission;
    const auto response = m_services.alerts->showRecordingError(error.description(), permission);
    if (permission && response == AlertPresenter::Response::openSettings &&
        m_services.openPrivacySettings) {
        m_services.openPrivacySettings();
    }
}

// --- Window picking -----------------------------------------------------------

void AppState::beginWindowPick() {
    if (isPickingWindow() || !m_services.pickWindow) {
        return;
    }
    setPickingWindow(true);
    QPointer<AppState> self(this);
    m_services.pickWindow([self](std::optional<QRectF> frame) {
        if (!self) {
            return;
        }
        self->setPickingWindow(false);
        if (frame) {
            self->recorderWindowController()->snapTo(frame->toAlignedRect());
        }
    });
}

// --- Files ----------------------------------------------------------------------

void AppState::revealSavedFile(const QString& path) {
    if (m_services.revealFile) {
        m_services.revealFile(path);
    }
}

QString AppState::outputFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) {
        desktop = QDir::homePath();
    }
    const QString folder = QDir(desktop).filePath(QStringLiteral("Mirelo"));
    // A folder that cannot be created is returned anyway; whoever writes
    // into it reports the failure.
    QDir().mkpath(folder);
    return folder;
}

}  // namespace mirelo
