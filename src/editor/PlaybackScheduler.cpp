#include "editor/PlaybackScheduler.h"

namespace mirelo {

TimerPlaybackScheduler::TimerPlaybackScheduler() {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // The step may schedule the next one, which replaces m_step: run a copy.
        const std::function<void()> step = std::move(m_step);
        m_step = nullptr;
        if (step) {
            step();
        }
    });
}

void TimerPlaybackScheduler::schedule(std::chrono::milliseconds wait, std::function<void()> step) {
    m_step = std::move(step);
    m_timer.start(wait);
}

void TimerPlaybackScheduler::cancel() {
    m_timer.stop();
    m_step = nullptr;
}

}  // namespace mirelo
