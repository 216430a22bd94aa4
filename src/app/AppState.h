#pragma once

#include "capture/ScreenRecorder.h"
#include "editor/EditorFrame.h"
#include "overlay/OverlayItem.h"
#include "platform/GlobalShortcuts.h"
#include "platform/WindowPicker.h"
#include "ui/open/FileOpener.h"
#include "ui/recorder/SessionModel.h"

#include <QPointer>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace mirelo {

namespace x11 {
class KeyGrab;
}

class AlertPresenter;
class EditorWindowController;
class RecorderWindowController;

// What the session needs from the desktop, injected so that the flows can be
// tested with fakes.
struct AppServices {
    // The capture stream. Required.
    std::unique_ptr<ScreenRecorder> recorder;
    // The error alert. Required.
    std::shared_ptr<AlertPresenter> alerts;
    // Starts a window pick that calls back once, with the window picked (its
    // frame in global coordinates) or with nothing.
    std::function<void(std::function<void(std::optional<PickedWindow>)>)> pickWindow;
    // Shows a saved file, selected, in the file manager.
    std::function<void(const QString& path)> revealFile;
    // Opens a folder in the file manager.
    std::function<void(const QString& folder)> openFolder;
    // Opens the desktop's privacy settings.
    std::function<void()> openPrivacySettings;
};

// The controller of the recording session, the application's single session
// object (not a plain state holder): the recording settings, the
// flags the recorder window shows, and the recording flow — start the
// capture on the region under the recorder window, stop it, hand the frames
// to a new editor, and bring the recorder window back when the editor
// closes. Every failure of the flow ends in the error alert, after which the
// application is idle and usable again.
//
// Main thread only. toggleRecording() returns at once; the flows continue
// from the recorder's completions, so the interface stays live meanwhile.
class AppState : public SessionModel {
    Q_OBJECT

public:
    explicit AppState(AppServices services, QObject* parent = nullptr);
    ~AppState() override;

    // Shows the recorder window and warms the recorder's caches. The
    // constructor schedules it on the event loop; calling it again only
    // shows the window.
    void launch();

    void toggleRecording() override;
    void beginWindowPick() override;
    void beginWindowRecording() override;
    void togglePause() override;

    // Shows the recorder window and gives it the focus.
    void showRecorderWindow();

    // Lets `shortcuts` start, stop and pause recordings from anywhere on the
    // desktop; a key another program holds is reported once. Null for none.
    void useGlobalShortcuts(GlobalShortcuts* shortcuts);
    GlobalShortcuts* globalShortcuts() const { return m_shortcuts; }
    // Opens files (GIF, WebP, pictures, video, or a folder of pictures) in a new editor, off the
    // main thread behind a progress sheet over `window` (the recorder window when null). A
    // file that cannot be opened gives one alert naming it; nothing else changes. Ignored while
    // a recording runs or another opening is under way.
    void openFiles(const QStringList& paths, QWidget* window = nullptr);
    // Asks for the files to open with the open dialog, then opens them.
    void chooseFilesToOpen();
    // The opening under way, for tests; null when none is.
    FileOpener* opener() const { return m_opener; }

    // Shows a file the editor saved, selected, in the file manager.
    void revealSavedFile(const QString& path);

    // The folder "Mirelo" on the desktop, created when missing. Without a
    // desktop folder it lies in the home folder.
    static QString outputFolder();

    RecorderWindowController* recorderWindowController();
    ScreenRecorder* recorder() const { return m_services.recorder.get(); }
    // The most recently opened editor; null once it has closed.
    QWidget* editorWindow() const;
    // The most recently opened editor while it is open; closing it frees it.
    EditorWindowController* editor() const;

    // How long the recorder window gets to switch to its recording layout
    // before the capture starts (the window manager applies it
    // asynchronously). Tests set it to zero.
    void setChromeSettleDelay(int milliseconds) { m_chromeSettleMs = milliseconds; }

    // Where the last countdown began and the last recording's first frame
    // lies, on the capture clock (invalid when there was none).
    MediaTime lastCountdownStart() const { return m_countdownStart; }
    MediaTime lastFirstFrameTime() const { return m_firstFrameTime; }

    // The application's menu, with its "停止录制", sits in the system tray.
    void setTrayMenuAvailable(bool available) { m_trayMenu = available; }

signals:
    // An editor window was opened for a finished recording.
    void editorOpened(QWidget* editor);

private:
    void runStartFlow();
    // Before a recording whose header finds no room on screen: says how to
    // stop it, or refuses it when there is no way. Returns whether to start.
    bool agreeOnHeaderlessStop();
    void onStreamStarted(std::optional<RecorderError> error);
    // The countdown before the first frame: the stream already runs, and
    // frames taken before it ends are left out.
    void beginCountdown(int seconds);
    void tickCountdown();
    void finishCountdown();
    // Escape or 停止 during the countdown: no recording is kept.
    void cancelCountdown();
    // Ends a stream whose frames are of no use and removes them.
    void discardStream();
    void becomeRecording();
    void runStopFlow();
    void finishStop(std::vector<FrameStore::Frame> frames, std::optional<RecorderError> error);
    // `store` holds the frames on disk; its folder goes when the editor closes.
    // `input` are the key captions and click marks laid over the frames.
    void openEditor(FrameList frames, std::shared_ptr<RecordingStore> store,
                    QList<OverlayItem> input = {});
    // Offers a recording left on disk by an instance that died, and opens it when asked.
    void offerLeftoverRecording();
    // The error alert; the recorder window comes forward first unless an
    // editor has just taken its place.
    void showError(const RecorderError& error, bool showRecorder = true);
    void onStreamFailed(const RecorderError& error);
    // The window being recorded closed: the recording ends as if stopped.
    void onSourceClosed();
    // A window recording is over or never began.
    void forgetRecordedWindow();
    // The error alert's text.
    // Keeps the model's recorded pixel size up to date: the capture size at the scale the
    // last recording had (the screen's pixel ratio before the first).
    void updatePixelSize();

    AppServices m_services;
    RecorderWindowController* m_recorderWindow = nullptr;
    QPointer<EditorWindowController> m_editor;
    QPointer<FileOpener> m_opener;
    std::shared_ptr<RecordingStore> m_editorStore;
    bool m_isStopping = false;
    bool m_launched = false;
    int m_chromeSettleMs = 150;
    bool m_trayMenu = false;
    // The error of a stream that ended by itself, shown once its frames
    // have been handed over.
    std::optional<RecorderError> m_streamError;
    QPointer<GlobalShortcuts> m_shortcuts;
    bool m_reportedShortcutClash = false;
    QTimer* m_countdownTimer = nullptr;
    std::chrono::steady_clock::time_point m_countdownEnd;
    MediaTime m_countdownStart;
    MediaTime m_firstFrameTime;
    std::unique_ptr<x11::KeyGrab> m_escapeKey;
    // The stream runs and waits for the countdown to end.
    bool m_streamUp = false;
    // The countdown was cancelled before the stream had started.
    bool m_startCancelled = false;
    // The region of the last recording started, and pixels per point its frames had across
    // and down (0 before the first).
    QRectF m_recordedRegion;
    // The window the next or running recording follows instead of the region.
    std::optional<CaptureWindow> m_recordedWindow;
    // Between the end of the start and the beginning of the recording.
    bool m_becomingRecording = false;
    double m_pixelScaleX = 0;
    double m_pixelScaleY = 0;
};

}  // namespace mirelo
