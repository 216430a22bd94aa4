#include "app/AppState.h"
#include "i18n/ModelTexts.h"

#include "app/Alerts.h"
#include "app/RecordedInput.h"
#include "app/StoreFrameSink.h"
#include "capture/CaptureClock.h"
#include "capture/InputEventLog.h"
#include "editor/EditorState.h"
#include "export/ExportModel.h"
#include "platform/GlobalShortcuts.h"
#include "platform/x11/X11KeyGrab.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/open/FileDrop.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <cmath>
#include <numeric>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace mirelo {

AppState::AppState(AppServices services, QObject* parent)
    : SessionModel(parent), m_services(std::move(services)) {
    Q_ASSERT(m_services.recorder && m_services.alerts);
    connect(m_services.recorder.get(), &ScreenRecorder::streamFailed, this,
            &AppState::onStreamFailed);
    connect(m_services.recorder.get(), &ScreenRecorder::sourceClosed, this,
            &AppState::onSourceClosed);
    setRecordsWindows(m_services.recorder->recordsWindows() && m_services.pickWindow);
    // A start that ends without a recording, or a recording that ends, stops following the
    // window too.
    connect(this, &SessionModel::isStartingRecordingChanged, this, [this](bool starting) {
        if (!starting && !isRecording() && !m_becomingRecording) {
            forgetRecordedWindow();
        }
    });
    connect(this, &SessionModel::isRecordingChanged, this, [this](bool recording) {
        if (!recording) {
            forgetRecordedWindow();
        }
    });
    m_countdownTimer = new QTimer(this);
    m_countdownTimer->setTimerType(Qt::PreciseTimer);
    m_countdownTimer->setInterval(25);
    connect(m_countdownTimer, &QTimer::timeout, this, &AppState::tickCountdown);
    connect(this, &SessionModel::captureSizeChanged, this, &AppState::updatePixelSize);
    QTimer::singleShot(0, this, &AppState::launch);
}

AppState::~AppState() {
    delete m_editor;
    delete m_recorderWindow;
}

void AppState::launch() {
    showRecorderWindow();
    updatePixelSize();
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
        if (countdownRemaining() > 0) {
            cancelCountdown();
        }
        return;
    }
    // An editor still holding an unsaved recording stays open beside the
    // new one, but only when the user agrees.
    if (m_editor && m_editor->window()->isVisible()) {
        if (!m_services.alerts->askStartWhileEditing()) {
            return;
        }
        // The frame to record with is the recorder window's.
        showRecorderWindow();
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
    const std::optional<QString> display =
        m_recordedWindow ? std::nullopt
                         : m_services.recorder->displayCutting(window->recordedRegion());
    if (display) {
        const QString text = tr("录制框跨过了显示器“%1”的边缘。只会录制它在这个显示器上的部分,"
                                "其余部分录成黑色。")
                                 .arg(*display);
        if (!m_services.alerts->confirmPartialRecording(text)) {
            window->releaseStopKey();
            setStartingRecording(false);
            return;
        }
    }
    // The recording layout takes the header out of the region before the
    // first frame is taken, so that no frame shows it.
    setRecordingWindow(m_recordedWindow.has_value());
    window->setRecordingChrome(true);
    const double fps = static_cast<double>(this->fps());
    const bool cursor = showsCursor();
    m_services.recorder->setInputCapture(!showsKeys() ? InputCapture::none
                                         : allKeys()  ? InputCapture::allKeys
                                                      : InputCapture::shortcuts);
    QPointer<AppState> self(this);
    QTimer::singleShot(m_chromeSettleMs, this, [self, fps, cursor] {
        if (!self) {
            return;
        }
        // Where the window really is once the window manager has had its
        // say, never where it was asked to be.
        const QRectF region = self->recorderWindowController()->recordedRegion();
        // A window's frames come at its own size, whatever the frame around it measured.
        self->m_recordedRegion = self->m_recordedWindow ? QRectF() : region;
        self->m_streamError.reset();
        self->m_countdownStart = {};
        // The stream starts with the countdown, so that the first frame is
        // taken right when it ends, however long the start takes.
        if (self->countdownSeconds() > 0) {
            self->beginCountdown(self->countdownSeconds());
        }
        auto started = [self](std::optional<RecorderError> error) {
            if (self) {
                self->onStreamStarted(std::move(error));
            }
        };
        if (self->m_recordedWindow) {
            self->m_services.recorder->startWindow(*self->m_recordedWindow, fps, cursor, started);
        } else {
            self->m_services.recorder->start(region, fps, cursor, started);
        }
    });
}

void AppState::onStreamStarted(std::optional<RecorderError> error) {
    if (std::exchange(m_startCancelled, false)) {
        if (error) {
            setStartingRecording(false);
        } else {
            discardStream();
        }
        return;
    }
    if (error) {
        m_countdownTimer->stop();
        m_escapeKey.reset();
        setCountdownRemaining(0);
        setStartingRecording(false);
        recorderWindowController()->setRecordingChrome(false);
        showError(*error);
        return;
    }
    if (countdownRemaining() > 0) {
        m_streamUp = true;
        return;
    }
    becomeRecording();
}

void AppState::becomeRecording() {
    m_streamUp = false;
    m_becomingRecording = true;
    setStartingRecording(false);
    m_becomingRecording = false;
    setRecording(true);
}

void AppState::discardStream() {
    QPointer<AppState> self(this);
    m_services.recorder->stop(
        [self](std::vector<FrameStore::Frame> frames, std::optional<RecorderError>) {
            frames.clear();
            if (!self) {
                return;
            }
            if (std::shared_ptr<RecordingStore> store =
                    self->m_services.recorder->frameStore().takeLastRecording()) {
                store->removeFiles();
            }
            self->setStartingRecording(false);
        });
}

bool AppState::agreeOnHeaderlessStop() {
    const bool key = recorderWindowController()->grabStopKey();
    if (!key && !m_trayMenu) {
        m_services.alerts->showStopNotice(tr("录制区域太大,录制时屏幕上没有地方放停止按钮,"
                                             "而 Ctrl+R 又被其他程序占用,录制将无法停止。"
                                             "请把录制区域缩小一些再试。"),
                                          false);
        return false;
    }
    QString text = tr("录制区域太大,录制时屏幕上没有地方放停止按钮。");
    if (key) {
        text += tr("按 Ctrl+R 停止录制");
        text += m_trayMenu ? tr(",或在托盘菜单中选择“停止录制”。") : tr("。");
    } else {
        text += tr("请在托盘菜单中选择“停止录制”来停止录制。");
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
    m_firstFrameTime = frames.empty() ? MediaTime{} : frames.front().timestamp;
    // A stream that ended by itself explains the end better than the stop.
    std::optional<RecorderError> streamError = std::exchange(m_streamError, std::nullopt);
    if (error) {
        showError(streamError ? *streamError : *error);
        return;
    }
    if (!frames.empty() && !frames.front().image.isNull() && !m_recordedRegion.isEmpty()) {
        m_pixelScaleX = frames.front().image.width() / m_recordedRegion.width();
        m_pixelScaleY = frames.front().image.height() / m_recordedRegion.height();
        updatePixelSize();
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
    QList<OverlayItem> input =
        recordedInputOverlays(m_services.recorder->lastInputEvents(), editorFrames);
    openEditor(std::move(editorFrames), store.takeLastRecording(), std::move(input));
    if (streamError) {
        // Over the editor: the recorder window stays hidden while it is open.
        showError(*streamError, false);
    }
    if (dropped > 0) {
        m_services.alerts->showNotice(
            tr("磁盘写入跟不上录制,有 %n 帧被丢弃;它们的时间并入了前一帧,总时长不变。", nullptr,
               int(dropped)));
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
            if (found->nothingRecorded) {
                found->store->removeFiles();  // it held no frame: nothing is lost
                continue;
            }
            // Nothing can be read: the folder stays until the user says what becomes of it.
            const QString where = QDir::toNativeSeparators(folder);
            const auto answer = m_services.alerts->askDamagedRecording(
                found->lostFrames > 0
                    ? tr("%n 帧都读不出来了。录制的文件保留在 %1。", "", int(found->lostFrames))
                          .arg(where)
                    : tr("录制的文件读不出来了，保留在 %1。").arg(where));
            if (answer == AlertPresenter::DamagedAnswer::remove) {
                found->store->removeFiles();
            } else if (answer == AlertPresenter::DamagedAnswer::openFolder &&
                       m_services.openFolder) {
                m_services.openFolder(folder);
            }
            continue;
        }
        const double seconds = std::accumulate(found->delays.begin(), found->delays.end(), 0.0);
        QString details = tr("Mirelo 上次没有正常退出，留下了一段 %n 帧（%1 秒）的录制。", "",
                             int(found->images.size()))
                              .arg(QString::number(seconds, 'f', 1));
        if (found->lostFrames > 0) {
            // The lost frames' time stays with the frame before them, so the others keep
            // their times.
            details += tr("其中 %n 帧（%1 秒）已损坏，无法恢复。", "", int(found->lostFrames))
                           .arg(QString::number(found->lostSeconds, 'f', 1));
        }
        const auto answer = m_services.alerts->askRestoreRecording(details);
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
        QList<OverlayItem> input =
            recordedInputOverlays(InputEventLog::read(found->store->folder()), frames);
        openEditor(std::move(frames), found->store, std::move(input));
        return;  // one editor at a time: any other leftover is offered at the next start
    }
}

void AppState::onStreamFailed(const RecorderError& error) {
    if (!isRecording()) {
        if (m_streamUp) {
            cancelCountdown();
            showError(error);
        }
        return;
    }
    m_streamError = error;
    if (!m_isStopping) {
        runStopFlow();
    }
}

void AppState::openEditor(FrameList frames, std::shared_ptr<RecordingStore> store,
                          QList<OverlayItem> input) {
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
    editor->state()->layRecordedInput(std::move(input));
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
    const auto response = m_services.alerts->showRecordingError(i18n::describe(error), permission);
    if (permission && response == AlertPresenter::Response::openSettings &&
        m_services.openPrivacySettings) {
        m_services.openPrivacySettings();
    }
}

// --- Desktop-wide shortcuts --------------------------------------------------------

void AppState::useGlobalShortcuts(GlobalShortcuts* shortcuts) {
    if (m_shortcuts) {
        m_shortcuts->disconnect(this);
    }
    m_shortcuts = shortcuts;
    if (!shortcuts) {
        return;
    }
    connect(shortcuts, &GlobalShortcuts::triggered, this, [this](GlobalShortcuts::Action action) {
        if (action == GlobalShortcuts::Action::toggleRecording) {
            toggleRecording();
        } else {
            togglePause();
        }
    });
    auto reportClash = [this] {
        if (!m_shortcuts || m_shortcuts->state() != GlobalShortcuts::State::heldElsewhere ||
            std::exchange(m_reportedShortcutClash, true)) {
            return;
        }
        QStringList held;
        for (GlobalShortcuts::Action action :
             {GlobalShortcuts::Action::toggleRecording, GlobalShortcuts::Action::togglePause}) {
            if (!m_shortcuts->isActive(action)) {
                held << GlobalShortcuts::keys(action);
            }
        }
        // After the launch, so that the notice does not stand in its way.
        QTimer::singleShot(0, this, [this, held] {
            m_services.alerts->showNotice(
                tr("%1 已被其他程序占用,Mirelo 不能用它在任何地方开始、停止或暂停录制。"
                   "请用录制窗口里的按钮。")
                    .arg(held.join(QStringLiteral("、"))));
        });
    };
    connect(shortcuts, &GlobalShortcuts::stateChanged, this, reportClash);
    reportClash();
}

void AppState::updatePixelSize() {
    double scaleX = m_pixelScaleX;
    double scaleY = m_pixelScaleY;
    if (!(scaleX > 0 && scaleY > 0)) {
        scaleX = scaleY = m_recorderWindow ? m_recorderWindow->window()->devicePixelRatio()
                                           : qApp->devicePixelRatio();
    }
    const QSizeF points = captureSize();
    const QSize pixels(static_cast<int>(std::floor(points.width() * scaleX + 1e-6)),
                       static_cast<int>(std::floor(points.height() * scaleY + 1e-6)));
    setRecordedPixelSize(QSizeF(pixels) == points ? QSize() : pixels);
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
