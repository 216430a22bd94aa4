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

// Records when each index became current, in ms since start.
struct StepLog {
    QElapsedTimer clock;
    std::vector<std::pair<int, qint64>> steps;
};

}  // namespace

TEST(Playback, PlayOnEmptyListStartsNothing) {
    EditorState state;
    state.play();
    EXPECT_FALSE(state.isPlaying());
}

TEST(Playback, EachFrameStaysForItsDelayAndTheLoopWraps) {
    EditorState state(framesWithDelays({0.1, 0.2, 0.3}));
    StepLog log;
    QObject::connect(&state, &EditorState::currentIndexChanged,
                     [&](int index) { log.steps.emplace_back(index, log.clock.elapsed()); });
    log.clock.start();
    state.play();
    ASSERT_TRUE(state.isPlaying());
    ASSERT_TRUE(test::waitUntil([&] { return log.steps.size() >= 4; }, 3000ms));
    state.pause();
    EXPECT_EQ(log.steps[0].first, 1);
    EXPECT_EQ(log.steps[1].first, 2);
    EXPECT_EQ(log.steps[2].first, 0);
    EXPECT_EQ(log.steps[3].first, 1);
    // Generous tolerance: timers on a loaded machine are late, never early.
    EXPECT_NEAR(log.steps[0].second, 100, 60);
    EXPECT_NEAR(log.steps[1].second, 300, 80);
    EXPECT_NEAR(log.steps[2].second, 600, 120);
    EXPECT_GE(log.steps[0].second, 95);
}

TEST(Playback, ShortDelaysPlayAtTheMinimum) {
    EditorState state(framesWithDelays({0.005, 0.005}));
    QElapsedTimer clock;
    qint64 firstStep = -1;
    QObject::connect(&state, &EditorState::currentIndexChanged, [&] {
        if (firstStep < 0)
            firstStep = clock.elapsed();
    });
    clock.start();
    state.play();
    ASSERT_TRUE(test::waitUntil([&] { return firstStep >= 0; }, 1000ms));
    state.pause();
    EXPECT_GE(firstStep, 18);
}

TEST(Playback, PauseStopsAtOnceAndPlayResumesWithAFullDelay) {
    EditorState state(framesWithDelays({0.15, 0.15, 0.15}));
    int steps = 0;
    QObject::connect(&state, &EditorState::currentIndexChanged, [&] { ++steps; });
    state.play();
    test::spinFor(50ms);
    state.pause();
    EXPECT_FALSE(state.isPlaying());
    test::spinFor(250ms);
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(state.currentIndex(), 0);

    QElapsedTimer clock;
    clock.start();
    qint64 resumedStep = -1;
    QObject::connect(&state, &EditorState::currentIndexChanged, [&] {
        if (resumedStep < 0)
            resumedStep = clock.elapsed();
    });
    state.play();
    ASSERT_TRUE(test::waitUntil([&] { return resumedStep >= 0; }, 1000ms));
    state.pause();
    EXPECT_GE(resumedStep, 140);
    EXPECT_EQ(state.currentIndex(), 1);
}

TEST(Playback, SeekWhilePlayingContinuesFromTheNewFrame) {
    EditorState state(framesWithDelays({0.1, 0.1, 0.1, 0.1, 0.1}));
    std::vector<int> order;
    state.play();
    state.seek(3);
    QObject::connect(&state, &EditorState::currentIndexChanged,
                     [&](int index) { order.push_back(index); });
    ASSERT_TRUE(test::waitUntil([&] { return order.size() >= 2; }, 1500ms));
    state.pause();
    EXPECT_EQ(order[0], 4);
    EXPECT_EQ(order[1], 0);
}

TEST(Playback, TrimmingWhilePlayingWrapsToTheStart) {
    EditorState state(framesWithDelays({0.05, 0.05, 0.05, 0.05}));
    state.seek(1);
    state.play();
    state.deleteAfterCurrent();  // frame 1 is now the last one
    std::vector<int> order;
    QObject::connect(&state, &EditorState::currentIndexChanged,
                     [&](int index) { order.push_back(index); });
    ASSERT_TRUE(test::waitUntil([&] { return !order.empty(); }, 1000ms));
    state.pause();
    EXPECT_EQ(order[0], 0);
}

TEST(Playback, DestroyingThePlayingModelEndsTheLoop) {
    auto state = std::make_unique<EditorState>(framesWithDelays({0.02, 0.02}));
    state->play();
    test::spinFor(30ms);
    state.reset();
    // Nothing may touch the destroyed model: running the loop must be quiet.
    test::spinFor(80ms);
    SUCCEED();
}
