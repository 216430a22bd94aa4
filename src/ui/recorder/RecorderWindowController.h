#pragma once

#include "ui/recorder/RecorderGeometry.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <memory>

class QMenu;

namespace mirelo {

namespace x11 {
class KeyGrab;
}

class CaptureGuard;
class CountdownView;
class RecorderWindow;
class SessionModel;

// Owns the recorder window and answers the session: where the capture region
// is, snapping to a window's frame, resizing to a preset, and switching the
// recording behaviour on and off. Keeps the model's capture size equal to the
// capture region's size.
class RecorderWindowController : public QObject {
    Q_OBJECT

public:
    // The window starts with a 960 x 540 capture area, centred on the
    // primary screen.
    explicit RecorderWindowController(SessionModel* model, QObject* parent = nullptr);
    ~RecorderWindowController() override;

    RecorderWindow* window() const { return m_window; }

    // The rectangle to record, in global coordinates.
    QRect captureRegion() const;
    // The part of it that lies on the desktop: what a recording takes.
    QRect recordableRegion() const;
    // The same rectangle where the window really is on screen (the window
    // manager or compositor may have placed it elsewhere than asked), in
    // global points that map exactly onto the screen's pixels.
    QRectF recordedRegion() const;
    // Moves and sizes the window so that its capture area covers `frame`.
    void snapTo(const QRect& frame);
    // Gives the capture area a new size with the header above it, keeping
    // the window's top edge in place where the screen allows: a size larger
    // than the screen is reduced (the model says so), the frame moves onto
    // the screen, and a region of the screen's whole height takes the header
    // inside its top edge.
    void resizeCaptureArea(const QSize& size);
    // Turns the recording behaviour on or off: while on, nothing of the
    // window lies inside the capture region, the outline moves just outside
    // it, and clicks fall through everywhere but the header. When the screen
    // leaves no room for the header outside the region, Ctrl+R stops the
    // recording from anywhere on the desktop instead.
    void setRecordingChrome(bool on);
    bool hasRecordingChrome() const;
    // Whether the header finds room on screen beside the capture region
    // while recording; without it no stop button shows.
    bool recordingHeaderFits() const;
    // Takes Ctrl+R desktop-wide to stop the recording (a recording without a
    // header takes it by itself); returns whether the key could be had.
    bool grabStopKey();
    void releaseStopKey();
    // Ctrl+R is taken desktop-wide to stop the recording.
    bool hasGlobalStopKey() const;

    // Shows `seconds` large in the middle of the capture region, or hides
    // the number (0). The number is a window of its own: hide it before the
    // first frame is taken.
    void showCountdown(int seconds);
    CountdownView* countdownView() const { return m_countdown; }

    // Shows the window, raises it and gives it the keyboard focus.
    void showWindow();
    void hideWindow();

    // Makes `menu` reachable from the window's header.
    void setAppMenu(QMenu* menu);

private:
    void trackSize();
    recorder::RecordingLayout layoutForRecording() const;

    QPointer<SessionModel> m_model;
    RecorderWindow* m_window = nullptr;
    std::unique_ptr<x11::KeyGrab> m_stopKey;
    std::unique_ptr<CaptureGuard> m_guard;
    CountdownView* m_countdown = nullptr;
    // The capture size a preset was reduced to while the frame keeps it.
    QSize m_reducedTo;
};

}  // namespace mirelo
