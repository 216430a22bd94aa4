// The frame schedule on a clock the test moves: grid, late frames, interruption.
#include "capture/FramePacer.h"
#include "support/ManualPacingClock.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

using test::ManualPacingClock;
constexpr auto kStart = ManualPacingClock::kStart;
const MediaTime kTenPerSecond{1, 10, MediaTime::Valid};

// Frames stay on the grid whatever each one takes, and a late one neither bunches the next
// frame up against it nor pulls the grid along.
TEST(FramePacerTest, FramesFallOnTheGridAndALateOneSkipsWhatItMissed) {
    auto clock = std::make_shared<ManualPacingClock>(true);
    FramePacer pacer(kTenPerSecond, clock);
    EXPECT_EQ(pacer.waitForFrame(), kStart);  // the first frame at once
    clock->advance(30ms);                     // the frame's own work
    EXPECT_EQ(pacer.waitForFrame(), kStart + 100ms);
    clock->advance(99ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 200ms);

    // 40 ms late: the next grid point is still 60 ms away, more than half a period.
    clock->advance(140ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 340ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 400ms);

    // 60 ms late: 600 ms is only 40 ms after it, so that one is skipped, not delivered right
    // behind the late frame.
    clock->advance(160ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 560ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 700ms);

    // Several periods late: the missed grid points are skipped, not caught up.
    clock->advance(420ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 1120ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 1200ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 1300ms);

    // Exactly half a period after the late frame is still soon enough.
    clock->advance(150ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 1450ms);
    EXPECT_EQ(pacer.waitForFrame(), kStart + 1500ms);

    // What was lost: 600, 900, 1000 and 1100 ms, after the frames 60 and 320 ms late, both
    // late because the work before them ran past their grid point.
    const FramePacer::Counts& counts = pacer.counts();
    EXPECT_EQ(counts.frames, 12);
    EXPECT_EQ(counts.skipped, 4);
    EXPECT_EQ(counts.lateFrames, 2);
    EXPECT_EQ(counts.lateness, 380ms);
    EXPECT_EQ(counts.worstLateness, 320ms);
    EXPECT_EQ(counts.lateAfterOverrun, 2);

    // No interval is a second.
    FramePacer slow(MediaTime{}, clock);
    const auto first = slow.waitForFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(slow.waitForFrame(), *first + 1s);
}

TEST(FramePacerTest, InterruptEndsTheWaitNowAndLater) {
    auto clock = std::make_shared<ManualPacingClock>();
    FramePacer pacer(kTenPerSecond, clock);
    ASSERT_EQ(pacer.waitForFrame(), kStart);
    bool woken = false;
    std::thread waiter([&] { woken = !pacer.waitForFrame().has_value(); });
    EXPECT_EQ(clock->waitForSleeper(), kStart + 100ms);
    pacer.interrupt();
    waiter.join();
    EXPECT_TRUE(woken);
    EXPECT_EQ(clock->now(), kStart);
    clock->advance(1s);
    EXPECT_EQ(pacer.waitForFrame(), std::nullopt);
}

// A frame whose thread slept in time but was woken late counts as late, not as an overrun.
TEST(FramePacerTest, CountsAFrameWokenLate) {
    auto clock = std::make_shared<ManualPacingClock>();
    FramePacer pacer(kTenPerSecond, clock);
    ASSERT_EQ(pacer.waitForFrame(), kStart);
    std::thread late([&] { EXPECT_EQ(pacer.waitForFrame(), kStart + 170ms); });
    EXPECT_EQ(clock->waitForSleeper(), kStart + 100ms);
    clock->advance(170ms);
    late.join();
    std::thread next([&] { EXPECT_EQ(pacer.waitForFrame(), std::nullopt); });
    EXPECT_EQ(clock->waitForSleeper(), kStart + 300ms);  // 200 ms is left out
    pacer.interrupt();
    next.join();
    const FramePacer::Counts& counts = pacer.counts();
    EXPECT_EQ(counts.frames, 2);
    EXPECT_EQ(counts.skipped, 1);
    EXPECT_EQ(counts.lateFrames, 1);
    EXPECT_EQ(counts.lateness, 70ms);
    EXPECT_EQ(counts.lateAfterOverrun, 0);
}

}  // namespace
}  // namespace mirelo
