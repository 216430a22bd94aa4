#pragma once

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace mirelo {

// When the playback loop takes its next step. The editor owns one; the
// default waits on a precise timer, and tests put in a clock they advance by
// hand so that the order and timing of steps are exact.
class PlaybackScheduler {
public:
    virtual ~PlaybackScheduler() = default;
    // Runs `step` once after `wait`, on the calling thread, replacing any step
    // still pending.
    virtual void schedule(std::chrono::milliseconds wait, std::function<void()> step) = 0;
    // Drops the pending step: it never runs after this returns.
    virtual void cancel() = 0;
};

// A single-shot precise QTimer. Destroying it drops the pending step.
class TimerPlaybackScheduler final : public PlaybackScheduler {
public:
    TimerPlaybackScheduler();
    void schedule(std::chrono::milliseconds wait, std::function<void()> step) override;
    void cancel() override;

private:
    QTimer m_timer;
    std::function<void()> m_step;
};

// The editor's playback loop: a frame shows for its delay, then `step`
// runs (the model shows the next frame and asks for the next wait). One
// wait is pending at a time; the loop's scheduler decides when it ends.
class PlaybackLoop {
public:
    // No wait is shorter than this (seconds).
    static constexpr double kMinimumDelay = 0.02;

    explicit PlaybackLoop(std::function<void()> step);
    ~PlaybackLoop();
    PlaybackLoop(const PlaybackLoop&) = delete;
    PlaybackLoop& operator=(const PlaybackLoop&) = delete;

    // Replaces the scheduler (a precise timer by default), dropping the
    // pending wait; null is ignored.
    void setScheduler(std::unique_ptr<PlaybackScheduler> scheduler);
    // Runs the step after `delay` seconds, never less than the minimum
    // (NaN counts as the minimum), rounded to whole milliseconds; replaces
    // the pending wait.
    void waitFor(double delay);
    // Drops the pending wait: the step does not run after this.
    void cancel();

private:
    const std::function<void()> m_step;
    std::unique_ptr<PlaybackScheduler> m_scheduler;
};

}  // namespace mirelo
