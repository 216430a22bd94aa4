#include "editor/PlaybackScheduler.h"

#include <algorithm>
#include <cstdint>

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

PlaybackLoop::PlaybackLoop(std::function<void()> step)
    : m_step(std::move(step)), m_scheduler(std::make_unique<TimerPlaybackScheduler>()) {}

PlaybackLoop::~PlaybackLoop() {
    m_scheduler->cancel();
}

void PlaybackLoop::setScheduler(std::unique_ptr<PlaybackScheduler> scheduler) {
    if (!scheduler) {
        return;
    }
    m_scheduler->cancel();
    m_scheduler = std::move(scheduler);
}

void PlaybackLoop::waitFor(double delay) {
    const double wait = delay >= kMinimumDelay ? delay : kMinimumDelay;
    // The wait is taken in whole nanoseconds; Qt's timers count milliseconds,
    // so round to the nearest one rather than always losing the fraction.
    const auto nanos = std::chrono::nanoseconds(static_cast<uint64_t>(std::min(wait, 1.0e9) * 1e9));
    m_scheduler->schedule(std::chrono::round<std::chrono::milliseconds>(nanos), m_step);
}

void PlaybackLoop::cancel() {
    m_scheduler->cancel();
}

}  // namespace mirelo
