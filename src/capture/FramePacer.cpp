#include "capture/FramePacer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace mirelo {

namespace {

using captureclock::Clock;

class SteadyPacingClock : public PacingClock {
public:
    Clock::time_point now() override { return Clock::now(); }

    void sleepUntil(Clock::time_point deadline, const std::atomic<bool>& interrupted) override {
        std::unique_lock lock(m_mutex);
        m_woken.wait_until(lock, deadline, [&] { return interrupted.load(); });
    }

    void wake() override {
        // Taking the lock orders the flag before a sleeper's check of it: no wake-up is lost.
        { std::lock_guard lock(m_mutex); }
        m_woken.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
};

}  // namespace

std::shared_ptr<PacingClock> steadyPacingClock() {
    return std::make_shared<SteadyPacingClock>();
}

FramePacer::FramePacer(const MediaTime& interval, std::shared_ptr<PacingClock> clock)
    : m_clock(clock ? std::move(clock) : steadyPacingClock()),
      m_period(std::max(Clock::duration(1), captureclock::period(interval))) {}

std::optional<Clock::time_point> FramePacer::waitForFrame() {
    if (m_interrupted) {
        return std::nullopt;
    }
    if (!m_start) {
        m_start = m_clock->now();
    } else {
        // The first grid point at least half a period after the last frame, and never one
        // already used.
        const Clock::duration earliest = *m_last + m_period / 2 - *m_start;
        const int64_t next =
            std::max(m_index + 1, (earliest + m_period - Clock::duration(1)) / m_period);
        if (next > m_index + 1) {
            const Clock::duration late = *m_last - (*m_start + m_index * m_period);
            m_counts.skipped += next - m_index - 1;
            ++m_counts.lateFrames;
            m_counts.lateness += late;
            m_counts.worstLateness = std::max(m_counts.worstLateness, late);
            m_counts.lateAfterOverrun += m_lastOverran ? 1 : 0;
        }
        m_index = next;
        const Clock::time_point deadline = *m_start + m_index * m_period;
        m_lastOverran = m_clock->now() >= deadline;
        m_clock->sleepUntil(deadline, m_interrupted);
        if (m_interrupted) {
            return std::nullopt;
        }
    }
    m_last = m_clock->now();
    ++m_counts.frames;
    return m_last;
}

void FramePacer::interrupt() {
    m_interrupted = true;
    m_clock->wake();
}

}  // namespace mirelo
