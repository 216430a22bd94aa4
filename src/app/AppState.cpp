#include "app/AppState.h"

#include "app/Alerts.h"
#include "app/StoreFrameSink.h"
#include "editor/EditorState.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/open/FileDrop.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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
        offerLeftoverRecording();
    }
}

RecorderWindowController* AppState::recorderWindowController() {
    if (!m_recorderWindow) {
        m_recorderWindow = new RecorderWindowController(this);
        QPointer<AppState> self(this);
        acceptFileDrops(m_recorderWindow->window(), [self](const QStringList& paths) {
            if (self) {
                self->openFiles(paths);
            }
        });
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
    if (!window->recordingHeaderFits() && !agreeOnHeaderlessStop()) {
        window->releaseStopKey();
        setStartingRecording(false);
        return;
    }
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

bool AppState::agreeOnHeaderlessStop() {
    const bool key = recorderWindowController()->grabStopKey();
    if (!key && !m_trayMenu) {
        m_services.alerts->showStopNotice(
            QStringLiteral("录制区域太大,录制时屏幕上没有地方放停止按钮,"
                           "而 Ctrl+R 又被其他程序占用,录制将无法停止。"
                           "请把录制区域缩小一些再试。"),
            false);
        return false;
    }
    QString text = QStringLiteral("录制区域太大,录制时屏幕上没有地方放停止按钮。");
    if (key) {
        text += QStringLiteral("按 Ctrl+R 停止录制");
        text +=
            m_trayMenu ? QStringLiteral(",或在托盘菜单中选择“停止录制”。") : QStringLiteral("。");
    } else {
        text += QStringLiteral("请在托盘菜单中选择“停止录制”来停止录制。");
    }
    return m_services.alerts->showStopNotice(text, true);
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
    // Frames dropped because the disk fell behind lend their time to the frame before them.
    FrameList editorFrames;
    const double delay = frameDelay(fps());
    for (const FrameStore::Frame& frame : frames) {
        if (!frame.image.isNull()) {
            editorFrames.push_back(
                EditorFrame::make(frame.image, delay * (1.0 + frame.dropsAfter)));
        }
    }
    FrameStore& store = m_services.recorder->frameStore();
    const size_t dropped = store.droppedFrames();
    openEditor(std::move(editorFrames), store.takeLastRecording());
    if (streamError) {
        // Over the editor: the recorder window stays hidden while it is open.
        showError(*streamError, false);
    }
    if (dropped > 0) {
        m_services.alerts->showNotice(
            QStringLiteral("磁盘写入跟不上录制,有 %1 帧被丢弃;它们的时间并入了前一帧,总时长不变。")
                .arg(dropped));
    }
}

void AppState::offerLeftoverRecording() {
    const StoreOptions& options = m_services.recorder->frameStore().options();
    const QString root = options.root.isEmpty() ? defaultStoreRoot() : options.root;
    for (const QString& folder : RecordingStore::leftovers(root)) {
        std::optional<RecordingStore::Recovered> found = RecordingStore::recover(folder, options);
        if (!found) {
            continue;
        }
        if (found->images.empty()) {
            if (found->lostFrames > 0) {
                m_services.alerts->showNotice(
                    QStringLiteral("上次的录制已损坏,%1 帧都无法恢复。").arg(found->lostFrames));
            }
            found->store->removeFiles();
            continue;
        }
        const auto answer = m_services.alerts->askRestoreRecording(
            QStringLiteral("Mirelo 上次没有正常退出,留下了一段 %1 帧的录制。")
                .arg(found->images.size()));
        if (answer == AlertPresenter::RestoreAnswer::discard) {
            found->store->removeFiles();
            continue;
        }
        if (answer == AlertPresenter::RestoreAnswer::later) {
            continue;  // the folder stays; the next start asks again
        }
        found->store->removeWhenUnused();
        FrameList frames;
        for (size_t i = 0; i < found->images.size(); ++i) {
            frames.push_back(EditorFrame::make(found->images[i], found->delays[i]));
        }
        openEditor(std::move(frames), found->store);
        if (found->lostFrames > 0) {
            m_services.alerts->showNotice(
                QStringLiteral("录制有损坏,%1 帧无法恢复;其余的帧已恢复。").arg(found->lostFrames));
        }
        return;  // one editor at a time: any other leftover is offered at the next start
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

void AppState::openEditor(FrameList frames, std::shared_ptr<RecordingStore> store) {
    if (m_editor) {
        EditorWindowController* previous = m_editor;
        if (previous->window()->isVisible()) {
            // The previous editor stays open on its own and goes when the
            // user closes it; closing it no longer brings the recorder back.
            previous->onClosed = [previous, previousStore = m_editorStore] {
                if (previousStore) {
                    previousStore->removeFiles();
                }
                previous->deleteLater();
            };
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
    // Frames made by resize, rotate and the like go to a store too, never all into memory.
    editor->state()->setFrameSinkFactory(
        StoreFrameSink::factory(m_services.recorder->frameStore().options()));
    editor->setInsertStoreOptions(m_services.recorder->frameStore().options());
    QPointer<AppState> self(this);
    editor->onSaved = [self](const QString& path) {
        if (self) {
            self->revealSavedFile(path);
        }
    };
    // The recording cannot be had back once its editor closes (saved or not): its folder goes.
    editor->onClosed = [self, editor, store] {
        if (store) {
            store->removeFiles();
        }
        if (self) {
            self->showRecorderWindow();
        }
        // Its frames, thumbnails and history are of no more use.
        editor->deleteLater();
    };
    connect(editor, &QObject::destroyed, this, [] {
#ifdef __GLIBC__
        // Hand the freed frames back to the system rather than keeping the
        // heap at its peak until the next recording.
        malloc_trim(0);
#endif
    });
    m_editorStore = std::move(store);
    recorderWindowController()->hideWindow();
    QWidget* window = editor->window();
    // Files dropped onto an editor open in an editor of their own; this one stays as it is.
    acceptFileDrops(window, [self, window = QPointer<QWidget>(window)](const QStringList& paths) {
        if (self) {
            self->openFiles(paths, window);
        }
    });
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
