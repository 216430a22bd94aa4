#include "ui/recorder/SessionModel.h"

#include <algorithm>

namespace mirelo {

SessionModel::SessionModel(QObject* parent) : QObject(parent) {}

SessionModel::~SessionModel() = default;

void SessionModel::setFps(int fps) {
    if (fps == m_fps) {
        return;
    }
    m_fps = fps;
    emit fpsChanged(fps);
}

void SessionModel::setShowsCursor(bool shows) {
    if (shows == m_showsCursor) {
        return;
    }
    m_showsCursor = shows;
    emit showsCursorChanged(shows);
}

void SessionModel::setShowsKeys(bool shows) {
    if (shows == m_showsKeys) {
        return;
    }
    m_showsKeys = shows;
    emit showsKeysChanged(shows);
}

void SessionModel::setAllKeys(bool all) {
    if (all == m_allKeys) {
        return;
    }
    m_allKeys = all;
    emit allKeysChanged(all);
}

void SessionModel::setCaptureSize(const QSizeF& size) {
    if (size == m_captureSize) {
        return;
    }
    m_captureSize = size;
    emit captureSizeChanged(size);
}

void SessionModel::setRecordedPixelSize(const QSize& size) {
    if (size == m_recordedPixelSize) {
        return;
    }
    m_recordedPixelSize = size;
    emit recordedPixelSizeChanged(size);
}

void SessionModel::setHeaderInside(bool inside) {
    if (inside == m_headerInside) {
        return;
    }
    m_headerInside = inside;
    emit headerInsideChanged(inside);
}

void SessionModel::setRecording(bool recording) {
    if (recording == m_isRecording) {
        return;
    }
    m_isRecording = recording;
    emit isRecordingChanged(recording);
}

void SessionModel::setStartingRecording(bool starting) {
    if (starting == m_isStartingRecording) {
        return;
    }
    m_isStartingRecording = starting;
    emit isStartingRecordingChanged(starting);
}

void SessionModel::setPaused(bool paused) {
    if (paused == m_isPaused) {
        return;
    }
    m_isPaused = paused;
    emit isPausedChanged(paused);
}

void SessionModel::setPickingWindow(bool picking) {
    if (picking == m_isPickingWindow) {
        return;
    }
    m_isPickingWindow = picking;
    emit isPickingWindowChanged(picking);
}

void SessionModel::setCountdownSeconds(int seconds) {
    seconds = std::max(0, seconds);
    if (seconds == m_countdownSeconds) {
        return;
    }
    m_countdownSeconds = seconds;
    emit countdownSecondsChanged(seconds);
}

void SessionModel::setCaptureSizeReduced(bool reduced) {
    if (reduced == m_captureSizeReduced) {
        return;
    }
    m_captureSizeReduced = reduced;
    emit captureSizeReducedChanged(reduced);
}

void SessionModel::setCountdownRemaining(int seconds) {
    if (seconds == m_countdownRemaining) {
        return;
    }
    m_countdownRemaining = seconds;
    emit countdownRemainingChanged(seconds);
}

void SessionModel::setRecordsWindows(bool records) {
    if (records == m_recordsWindows) {
        return;
    }
    m_recordsWindows = records;
    emit recordsWindowsChanged(records);
}

void SessionModel::setWindowDecorations(bool included) {
    if (included == m_windowDecorations) {
        return;
    }
    m_windowDecorations = included;
    emit windowDecorationsChanged(included);
}

void SessionModel::setRecordingWindow(bool recording) {
    if (recording == m_isRecordingWindow) {
        return;
    }
    m_isRecordingWindow = recording;
    emit isRecordingWindowChanged(recording);
}

}  // namespace mirelo
