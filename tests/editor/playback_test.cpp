#include "editor/EditorState.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

FrameList framesWithDelays(std::initializer_list<double> delays) {
    FrameList frames;
    for (double d : delays) {
        frames.push_back(EditorFrame::make(test::solidImage(4, 4, Qt::red), d));
    }
    return frames;
}

// A clock the test advances by hand. Its schedulers hold at most one pending
// step each, as the real timer does.
class ManualClock {
public:
    class Scheduler final : public PlaybackScheduler {
    public:
        explicit Scheduler(ManualClock& clock) : m_clock(clock) {}
        ~Scheduler() override { cancel(); }
        void schedule(std::chrono::milliseconds wait, std::function<void()> step) override {
            m_clock.m_due = m_clock.m_now + wait;
            m_clock.m_step = std::move(step);
        }
        void cancel() override { m_clock.m_step = nullptr; }

    private:
        ManualClock& m_clock;
    };

    std::unique_ptr<PlaybackScheduler> scheduler() { return std::make_unique<Scheduler>(*this); }
    std::chrono::milliseconds now() const { return m_now; }
    bool hasPendingStep() const { return static_cast<bool>(m_step); }

    // Runs every step that falls due within `duration`, each at its own time.
    void advance(std::chrono::milliseconds duration) {
        const auto end = m_now + duration;
        while (m_step && m_due <= end) {
            m_now = m_due;
            const std::function<void()> step = std::move(m_step);
            m_step = nullptr;
            step();
        }
        m_now = end;
    }

private:
    std::chrono::milliseconds m_now{0};
    std::chrono::milliseconds m_due{0};
    std::function<void()> m_step;
};

// Each index that became current, with the clock's time then.
using Steps = std::vector<std::pair<int, long>>;

void logSteps(EditorState& state, const ManualClock& clock, Steps& steps) {
    QObject::connect(&state, &EditorState::currentIndexChanged,
                     [&](int index) { steps.emplace_back(index, long(clock.now().count())); });
}

}  // namespace

TEST(Playback, PlayOnEmptyListStartsNothing) {
    EditorState state;
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    state.play();
    EXPECT_FALSE(state.isPlaying());
    EXPECT_FALSE(clock.hasPendingStep());
}

TEST(Playback, EachFrameStaysForItsDelayAndTheLoopWraps) {
    EditorState state(framesWithDelays({0.1, 0.2, 0.3}));
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    Steps steps;
    logSteps(state, clock, steps);
    state.play();
    ASSERT_TRUE(state.isPlaying());
    clock.advance(700ms);
    EXPECT_EQ(steps, (Steps{{1, 100}, {2, 300}, {0, 600}, {1, 700}}));
}

TEST(Playback, WaitsAreRoundedToMillisecondsAndNeverBelowTheMinimum) {
    EditorState state(framesWithDelays({0.005, 0.0125, 0.0334, 0.02}));
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    Steps steps;
    logSteps(state, clock, steps);
    state.play();
    clock.advance(200ms);
    // Stored delays below the minimum still play at 20 ms; 33.4 ms rounds to 33.
    ASSERT_GE(steps.size(), 4u);
    EXPECT_EQ(Steps(steps.begin(), steps.begin() + 4), (Steps{{1, 20}, {2, 40}, {3, 73}, {0, 93}}));
}

TEST(Playback, PauseStopsAtOnceAndPlayResumesWithAFullDelay) {
    EditorState state(framesWithDelays({0.15, 0.15, 0.15}));
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    Steps steps;
    logSteps(state, clock, steps);
    state.play();
    clock.advance(149ms);
    state.pause();
    EXPECT_FALSE(state.isPlaying());
    EXPECT_FALSE(clock.hasPendingStep());
    clock.advance(1000ms);
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(state.currentIndex(), 0);

    state.play();
    clock.advance(150ms);
    EXPECT_EQ(steps, (Steps{{1, 1299}}));
}

TEST(Playback, SeekWhilePlayingContinuesFromTheNewFrame) {
    EditorState state(framesWithDelays({0.1, 0.1, 0.1, 0.2, 0.3}));
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    state.play();
    clock.advance(50ms);
    state.seek(3);
    Steps steps;
    logSteps(state, clock, steps);
    // The frame sought to is shown for the rest of the step that was pending.
    clock.advance(400ms);
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0].first, 4);
    EXPECT_EQ(steps[1].first, 0);
    EXPECT_EQ(steps[1].second - steps[0].second, 300);
}

TEST(Playback, TrimmingWhilePlayingWrapsToTheStart) {
    EditorState state(framesWithDelays({0.05, 0.05, 0.05, 0.05}));
    ManualClock clock;
    state.setPlaybackScheduler(clock.scheduler());
    state.seek(1);
    state.play();
    state.deleteAfterCurrent();  // frame 1 is now the last one
    Steps steps;
    logSteps(state, clock, steps);
    clock.advance(100ms);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps[0], (std::pair<int, long>{0, 50}));
}

TEST(Playback, DestroyingThePlayingModelDropsItsPendingStep) {
    ManualClock clock;
    auto state = std::make_unique<EditorState>(framesWithDelays({0.02, 0.02}));
    state->setPlaybackScheduler(clock.scheduler());
    state->play();
    clock.advance(30ms);
    EXPECT_EQ(state->currentIndex(), 1);
    ASSERT_TRUE(clock.hasPendingStep());
    state.reset();
    EXPECT_FALSE(clock.hasPendingStep());
}

// The real timer drives the same loop: steps come in order, none early.
TEST(Playback, RealTimerPlaysTheLoopInOrder) {
    EditorState state(framesWithDelays({0.02, 0.03, 0.02}));
    std::vector<int> order;
    QObject::connect(&state, &EditorState::currentIndexChanged,
                     [&](int index) { order.push_back(index); });
    QElapsedTimer elapsed;
    elapsed.start();
    state.play();
    ASSERT_TRUE(test::waitUntil([&] { return order.size() >= 3; }, 5000ms));
    const qint64 wrapped = elapsed.elapsed();
    state.pause();
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 3), (std::vector<int>{1, 2, 0}));
    EXPECT_GE(wrapped, 70);
    // Pausing dropped the pending step.
    const size_t stepsAtPause = order.size();
    test::spinFor(60ms);
    EXPECT_EQ(order.size(), stepsAtPause);
}
