// The countdown between 录制 and the first frame: its numbers in the frame, Escape from
// anywhere to cancel it, and the start of the recording when it reaches zero.
#include "app/AppState.h"
#include "capture/CaptureClock.h"
#include "capture/ScreenRecorder.h"
#include "platform/x11/X11KeyGrab.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QTimer>

#include <chrono>

namespace mirelo {

void AppState::beginCountdown(int seconds) {
    const auto now = captureclock::Clock::now();
    m_countdownEnd = now + std::chrono::seconds(seconds);
    m_countdownStart = captureclock::mediaTime(now);
    m_services.recorder->keepFramesFrom(captureclock::mediaTime(m_countdownEnd));
    setCountdownRemaining(seconds);
    recorderWindowController()->showCountdown(seconds);
    // Escape cancels from anywhere on the desktop: the focus may be in the
    // application about to be recorded.
    m_escapeKey = std::make_unique<x11::KeyGrab>(uint32_t{0xff1b}, x11::KeyGrab::noModifier);
    connect(m_escapeKey.get(), &x11::KeyGrab::activated, this, [this] {
        if (countdownRemaining() > 0) {
            cancelCountdown();
        }
    });
    m_countdownTimer->start();
}

void AppState::tickCountdown() {
    // The number goes a little before the end, so that the window showing
    // it is surely gone from the screen when the first frame is taken.
    constexpr auto kHideBefore = std::chrono::milliseconds(120);
    const auto left = m_countdownEnd - captureclock::Clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        finishCountdown();
        return;
    }
    const auto whole = std::chrono::ceil<std::chrono::seconds>(left);
    setCountdownRemaining(static_cast<int>(whole.count()));
    recorderWindowController()->showCountdown(left > kHideBefore ? countdownRemaining() : 0);
}

void AppState::finishCountdown() {
    m_countdownTimer->stop();
    m_escapeKey.reset();
    recorderWindowController()->showCountdown(0);
    setCountdownRemaining(0);
    if (m_streamUp) {
        becomeRecording();
    }
}

void AppState::cancelCountdown() {
    m_countdownTimer->stop();
    m_escapeKey.reset();
    setCountdownRemaining(0);
    recorderWindowController()->setRecordingChrome(false);
    // Starting stays true until the recorder is idle again, so that no new
    // start runs into the stream being ended.
    if (m_streamUp) {
        m_streamUp = false;
        discardStream();
    } else {
        m_startCancelled = true;
    }
}

}  // namespace mirelo
