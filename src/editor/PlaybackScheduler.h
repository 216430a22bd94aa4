#pragma once

#include <QTimer>

#include <chrono>
#include <functional>

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

}  // namespace mirelo
