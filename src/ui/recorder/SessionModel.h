#pragma once

#include <QObject>
#include <QSize>
#include <QSizeF>

namespace mirelo {

// The recording session as the recorder window sees it: the settings the
// user picks there, the flags that drive its appearance, and the commands its
// controls trigger. The application's session controller derives from it and
// implements the commands; the window only ever talks to this interface, so
// the user-interface layer does not depend on the application layer.
//
// Main thread only. Every setter emits its field's signal when, and only
// when, the value changes.
class SessionModel : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultFps = 15;
    static constexpr double kDefaultCaptureWidth = 960;
    static constexpr double kDefaultCaptureHeight = 540;
    // Seconds between pressing record and the first frame; 0 starts at once.
    static constexpr int kDefaultCountdown = 3;

    explicit SessionModel(QObject* parent = nullptr);
    ~SessionModel() override;

    bool isRecording() const { return m_isRecording; }
    bool isStartingRecording() const { return m_isStartingRecording; }
    // The running recording is paused (only ever true while recording).
    bool isPaused() const { return m_isPaused; }
    int fps() const { return m_fps; }
    bool showsCursor() const { return m_showsCursor; }
    QSizeF captureSize() const { return m_captureSize; }
    // The pixels a recording of the capture area gives (more than its points on a screen with
    // a scale factor); invalid while unknown, when the points are the pixels.
    QSize recordedPixelSize() const { return m_recordedPixelSize; }
    bool isPickingWindow() const { return m_isPickingWindow; }
    bool headerInside() const { return m_headerInside; }
    // The capture size was reduced from the preset asked for, to fit the screen.
    bool captureSizeReduced() const { return m_captureSizeReduced; }
    int countdownSeconds() const { return m_countdownSeconds; }
    // The whole seconds left before the first frame while a countdown runs,
    // else 0. A running countdown counts as starting a recording.
    int countdownRemaining() const { return m_countdownRemaining; }
    // 显示按键: the recording keeps the keys pressed and the clicks, shown in the editor as
    // captions and marks (off at start, kept for the run). With allKeys() off only shortcuts
    // and keys that type nothing are kept (仅快捷键), otherwise every key (全部按键).
    bool showsKeys() const { return m_showsKeys; }
    bool allKeys() const { return m_allKeys; }
    // Where keys and clicks cannot be observed (a Wayland session): one line saying so, shown
    // when the control is switched on. Empty where they can.
    QString keysUnavailableNote() const { return m_keysNote; }
    // 录制窗口 is offered: the desktop lets a recording follow one window (false at first).
    bool recordsWindows() const { return m_recordsWindows; }
    // A window recording includes the window manager's frame (title bar and borders); kept for
    // the run, on at first.
    bool windowDecorations() const { return m_windowDecorations; }
    // The running or starting recording follows a window rather than the capture area.
    bool isRecordingWindow() const { return m_isRecordingWindow; }

    void setFps(int fps);
    void setShowsCursor(bool shows);
    void setCaptureSize(const QSizeF& size);
    void setRecordedPixelSize(const QSize& size);
    void setHeaderInside(bool inside);
    void setCountdownSeconds(int seconds);
    void setCaptureSizeReduced(bool reduced);
    void setShowsKeys(bool shows);
    void setAllKeys(bool all);
    void setKeysUnavailableNote(const QString& note) { m_keysNote = note; }
    void setRecordsWindows(bool records);
    void setWindowDecorations(bool included);

    // Starts a recording when none runs, otherwise stops it. Returns at once.
    virtual void toggleRecording() = 0;
    // Lets the user click a window to align the recording frame to it.
    virtual void beginWindowPick() = 0;
    // Lets the user click a window, then records that window wherever it goes until it closes
    // or the recording is stopped.
    virtual void beginWindowRecording() {}
    // Pauses the running recording, or resumes it when paused. Does nothing
    // when no recording runs.
    virtual void togglePause() {}

signals:
    void isRecordingChanged(bool recording);
    void isStartingRecordingChanged(bool starting);
    void isPausedChanged(bool paused);
    void fpsChanged(int fps);
    void showsCursorChanged(bool shows);
    void captureSizeChanged(QSizeF size);
    void recordedPixelSizeChanged(QSize size);
    void isPickingWindowChanged(bool picking);
    void headerInsideChanged(bool inside);
    void countdownSecondsChanged(int seconds);
    void captureSizeReducedChanged(bool reduced);
    void countdownRemainingChanged(int seconds);
    void showsKeysChanged(bool shows);
    void allKeysChanged(bool all);
    void recordsWindowsChanged(bool records);
    void windowDecorationsChanged(bool included);
    void isRecordingWindowChanged(bool recording);

protected:
    void setRecording(bool recording);
    void setStartingRecording(bool starting);
    void setPaused(bool paused);
    void setPickingWindow(bool picking);
    void setCountdownRemaining(int seconds);
    void setRecordingWindow(bool recording);

private:
    bool m_isRecording = false;
    bool m_isStartingRecording = false;
    bool m_isPaused = false;
    int m_fps = kDefaultFps;
    bool m_showsCursor = true;
    QSizeF m_captureSize{kDefaultCaptureWidth, kDefaultCaptureHeight};
    QSize m_recordedPixelSize;
    bool m_isPickingWindow = false;
    bool m_headerInside = false;
    int m_countdownSeconds = kDefaultCountdown;
    bool m_captureSizeReduced = false;
    int m_countdownRemaining = 0;
    bool m_showsKeys = false;
    bool m_allKeys = false;
    QString m_keysNote;
    bool m_recordsWindows = false;
    bool m_windowDecorations = true;
    bool m_isRecordingWindow = false;
};

}  // namespace mirelo
