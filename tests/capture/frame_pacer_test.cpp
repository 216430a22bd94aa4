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

}  // namespace
}  // namespace mirelo
