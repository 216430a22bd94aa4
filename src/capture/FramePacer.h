#pragma once

#include "capture/CaptureClock.h"
#include "capture/MediaTime.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace mirelo {

// The monotonic clock a capture stream is paced on: the steady clock, or one a test moves by
// hand.
class PacingClock {
public:
    virtual ~PacingClock() = default;
    virtual captureclock::Clock::time_point now() = 0;
    // Blocks until `deadline` has come on this clock or `interrupted` is set. Whoever sets the
    // flag calls wake() after it.
    virtual void sleepUntil(captureclock::Clock::time_point deadline,
                            const std::atomic<bool>& interrupted) = 0;
    virtual void wake() = 0;
};

// The steady clock, sleeping on a condition variable.
std::shared_ptr<PacingClock> steadyPacingClock();

// The schedule on which a capture stream hands out frames. Frames fall on the grid
// start + n x period of the clock, so the rate does not drift with the time each frame takes;
// the first is due at once. A frame that comes late skips the grid points it missed instead of
// catching up with a burst, and the next one is due on the first grid point at least half a
// period after it: no two frames come closer together than that.
//
// One thread waits; interrupt() may come from any thread.
class FramePacer {
public:
    // What the schedule lost, counted as it goes (cheap: one more clock read per frame).
    struct Counts {
        int64_t frames = 0;
        // Grid points left out because the frame before came more than half a period late.
        int64_t skipped = 0;
        // The frames that came that late, and how late they came (sum and worst).
        int64_t lateFrames = 0;
        captureclock::Clock::duration lateness{0};
        captureclock::Clock::duration worstLateness{0};
        // Of those, the ones whose grid point had passed before the wait for it began (the
        // work on the frame before ran over); the others slept and were woken late.
        int64_t lateAfterOverrun = 0;
    };

    // `interval` is the time between frames (1 / fps); an invalid or empty one is a second.
    FramePacer(const MediaTime& interval, std::shared_ptr<PacingClock> clock);

    // Blocks until the next frame is due and returns the clock's time then, the frame's time;
    // nothing once interrupt() was called.
    std::optional<captureclock::Clock::time_point> waitForFrame();

    // Ends the current and every later waitForFrame().
    void interrupt();

    PacingClock& clock() { return *m_clock; }

    // The waiting thread's, or anyone's once it has stopped waiting.
    const Counts& counts() const { return m_counts; }

private:
    const std::shared_ptr<PacingClock> m_clock;
    const captureclock::Clock::duration m_period;
    std::atomic<bool> m_interrupted{false};
    std::optional<captureclock::Clock::time_point> m_start;
    std::optional<captureclock::Clock::time_point> m_last;
    int64_t m_index = 0;
    bool m_lastOverran = false;  // the last frame's grid point had passed before its wait
    Counts m_counts;
};

}  // namespace mirelo
