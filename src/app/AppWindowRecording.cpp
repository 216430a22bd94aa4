// Aligning the frame to a window, and recording one window wherever it goes.
#include "app/AppState.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QPointer>

namespace mirelo {

void AppState::beginWindowPick() {
    if (isPickingWindow() || !m_services.pickWindow) {
        return;
    }
    setPickingWindow(true);
    QPointer<AppState> self(this);
    m_services.pickWindow([self](std::optional<PickedWindow> picked) {
        if (!self) {
            return;
        }
        self->setPickingWindow(false);
        if (picked) {
            self->recorderWindowController()->snapTo(picked->frame.toAlignedRect());
        }
    });
}

void AppState::beginWindowRecording() {
    if (!recordsWindows() || isPickingWindow() || isRecording() || isStartingRecording()) {
        return;
    }
    setPickingWindow(true);
    QPointer<AppState> self(this);
    m_services.pickWindow([self](std::optional<PickedWindow> picked) {
        if (!self) {
            return;
        }
        self->setPickingWindow(false);
        if (!picked || picked->window == 0 || self->isRecording() || self->isStartingRecording()) {
            return;
        }
        // The header goes just above the window, where the stop button is easy to find; the
        // frame itself is not shown while the window is recorded.
        self->recorderWindowController()->snapTo(picked->frame.toAlignedRect());
        self->m_recordedWindow = CaptureWindow{picked->window, self->windowDecorations()};
        self->toggleRecording();
        // The user declined to start beside an open editor.
        if (!self->isStartingRecording()) {
            self->forgetRecordedWindow();
        }
    });
}

void AppState::onSourceClosed() {
    if (isRecording()) {
        if (!m_isStopping) {
            runStopFlow();
        }
        return;
    }
    // Closed before the countdown ended: nothing of it was to be kept.
    if (m_streamUp) {
        cancelCountdown();
    }
}

void AppState::forgetRecordedWindow() {
    m_recordedWindow.reset();
    setRecordingWindow(false);
}

}  // namespace mirelo
