#pragma once

#include "capture/FramePacer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace mirelo::test {

// A pacing clock that moves only when told. Jumping, a sleep moves it on to the deadline at
// once (for tests on one thread); else a sleep waits until the test advances the clock past
// the deadline.
class ManualPacingClock : public PacingClock {
public:
    using Clock = captureclock::Clock;

    explicit ManualPacingClock(bool jumping = false) : m_jumping(jumping) {}

    // An arbitrary start, far from the steady clock's epoch.
    static constexpr Clock::time_point kStart = Clock::time_point(std::chrono::hours(1));

    Clock::time_point now() override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }

    void sleepUntil(Clock::time_point deadline, const std::atomic<bool>& interrupted) override {
        std::unique_lock lock(m_mutex);
        if (m_jumping) {
            m_now = std::max(m_now, deadline);
            return;
        }
        m_sleeper = deadline;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return interrupted.load() || m_now >= deadline; });
        m_sleeper.reset();
    }

    void wake() override {
        { std::lock_guard lock(m_mutex); }
        m_changed.notify_all();
    }

    void advance(Clock::duration by) {
        {
            std::lock_guard lock(m_mutex);
            m_now += by;
        }
        m_changed.notify_all();
    }

    // Waits until a thread sleeps on the clock for a deadline still to come, and returns that
    // deadline (nothing after `timeout` of real time).
    std::optional<Clock::time_point> waitForSleeper(
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_sleeper && *m_sleeper > m_now; });
        return m_sleeper && *m_sleeper > m_now ? m_sleeper : std::nullopt;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_jumping;
    Clock::time_point m_now = kStart;
    std::optional<Clock::time_point> m_sleeper;
};

}  // namespace mirelo::test
