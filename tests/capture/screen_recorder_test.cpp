// ScreenRecorder's flows over a fake backend: caches, permission rule, errors,
// frame hand-over and the end of a stream that dies by itself.
#include "capture/CaptureGeometry.h"
#include "capture/ScreenRecorder.h"
#include "support/FakeCaptureBackend.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

using test::FakeCaptureBackend;

struct StartOutcome {
    bool done = false;
    std::optional<RecorderError> error;
};

struct StopOutcome {
    bool done = false;
    std::vector<FrameStore::Frame> frames;
    std::optional<RecorderError> error;
};

class ScreenRecorderTest : public ::testing::Test {
protected:
    ScreenRecorderTest() {
        backend->displayList = {CaptureDisplay{1, "A", QRect(0, 0, 1920, 1080)}};
    }

    std::optional<RecorderError> start(QRectF region = QRectF(100, 100, 320, 200)) {
        StartOutcome outcome;
        recorder.start(region, 15, true, [&](std::optional<RecorderError> error) {
            outcome = {true, std::move(error)};
        });
        EXPECT_FALSE(outcome.done) << "completion must come later, from the event loop";
        EXPECT_TRUE(test::waitUntil([&] { return outcome.done; }, 5s));
        return outcome.error;
    }

    StopOutcome stop() {
        StopOutcome outcome;
        recorder.stop(
            [&](std::vector<FrameStore::Frame> frames, std::optional<RecorderError> error) {
                outcome = {true, std::move(frames), std::move(error)};
            });
        EXPECT_FALSE(outcome.done);
        EXPECT_TRUE(test::waitUntil([&] { return outcome.done; }, 5s));
        return outcome;
    }

    // Lets queued background work (a refresh) finish.
    void settle() { test::spinFor(100ms); }

    std::shared_ptr<FakeCaptureBackend> backend = std::make_shared<FakeCaptureBackend>();
    ScreenRecorder recorder{backend, [] { return std::vector<ScreenInfo>{{"A", 1.0}}; }};
};

TEST_F(ScreenRecorderTest, RecordsFramesInOrderWithTheirTimes) {
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_TRUE(recorder.isCapturing());
    EXPECT_EQ(backend->read(backend->lastConfiguration).outputSize, QSize(320, 200));
    EXPECT_EQ(backend->read(backend->lastConfiguration).minimumFrameInterval.timescale, 15);
    const Image red = test::solidImage(320, 200, Qt::red);
    const Image blue = test::solidImage(320, 200, Qt::blue);
    backend->deliverAt(red, 1);
    backend->deliverAt(blue, 2);
    backend->deliverAt(red, 3);

    const StopOutcome outcome = stop();
    ASSERT_EQ(outcome.error, std::nullopt);
    ASSERT_EQ(outcome.frames.size(), 3u);
    // Kept compressed on disk, read back exactly.
    EXPECT_EQ(outcome.frames[0].image.qimage(), red.qimage());
    EXPECT_EQ(outcome.frames[1].image.qimage(), blue.qimage());
    EXPECT_EQ(outcome.frames[2].image.qimage(), red.qimage());
    EXPECT_EQ(outcome.frames[2].timestamp.value, 3);
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_EQ(recorder.frameStore().count(), 0u);
}

TEST_F(ScreenRecorderTest, PausedTimeIsTakenOutOfTheRecording) {
    // Not capturing: nothing to pause.
    EXPECT_FALSE(recorder.pause());
    ASSERT_EQ(start(), std::nullopt);
    // 15 fps; the fake stamps in 1/30 s, so one frame interval is 2 ticks.
    const Image a = test::solidImage(8, 8, Qt::red);
    const Image b = test::solidImage(8, 8, Qt::blue);
    backend->deliverAt(a, 100);
    backend->deliverAt(a, 102);
    EXPECT_TRUE(recorder.pause());
    EXPECT_FALSE(recorder.pause());
    EXPECT_TRUE(recorder.isPaused());
    backend->deliverAt(a, 104);  // captured while paused: left out
    backend->deliverAt(a, 160);
    EXPECT_TRUE(recorder.resume());
    EXPECT_FALSE(recorder.resume());
    // The first frame after the pause follows the last one before it by one interval, and
    // the ones after keep their spacing.
    backend->deliverAt(b, 301);
    backend->deliverAt(b, 303);
    backend->deliverAt(b, 308);
    // A pause shorter than a frame interval moves nothing.
    EXPECT_TRUE(recorder.pause());
    EXPECT_TRUE(recorder.resume());
    backend->deliverAt(b, 309);
    // A second pause adds to the first.
    EXPECT_TRUE(recorder.pause());
    EXPECT_TRUE(recorder.resume());
    backend->deliverAt(a, 400);

    const StopOutcome outcome = stop();
    ASSERT_EQ(outcome.error, std::nullopt);
    std::vector<int64_t> times;
    for (const FrameStore::Frame& frame : outcome.frames) {
        times.push_back(frame.timestamp.value);
        EXPECT_EQ(frame.timestamp.timescale, 30);
    }
    EXPECT_EQ(times, (std::vector<int64_t>{100, 102, 104, 106, 111, 112, 114}));
    EXPECT_EQ(outcome.frames[2].image.qimage(), b.qimage());
    EXPECT_FALSE(recorder.isPaused());

    // A paused stop leaves nothing behind: the next recording starts unpaused.
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_TRUE(recorder.pause());
    stop();
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_FALSE(recorder.isPaused());
    backend->deliverAt(a, 7);
    EXPECT_EQ(stop().frames.size(), 1u);
}

TEST_F(ScreenRecorderTest, FramesBeforeTheKeptStartAreLeftOutWithoutMovingTheRest) {
    // Set before the start: the stream it begins keeps frames from tick 50 (1/30 s) on,
    // on their own clock, so the recording's first frame is the one at or after 50.
    recorder.keepFramesFrom(MediaTime{50, 30, MediaTime::Valid});
    ASSERT_EQ(start(), std::nullopt);
    const Image a = test::solidImage(8, 8, Qt::red);
    const Image b = test::solidImage(8, 8, Qt::blue);
    backend->deliverAt(a, 10);
    backend->deliverAt(a, 48);
    backend->deliverAt(b, 50);
    // A pause after the start still closes its gap.
    EXPECT_TRUE(recorder.pause());
    backend->deliverAt(a, 60);
    EXPECT_TRUE(recorder.resume());
    backend->deliverAt(b, 90);
    StopOutcome outcome = stop();
    ASSERT_EQ(outcome.frames.size(), 2u);
    EXPECT_EQ(outcome.frames[0].image.qimage(), b.qimage());
    EXPECT_EQ(outcome.frames[0].timestamp.value, 50);
    EXPECT_EQ(outcome.frames[1].timestamp.value, 52);

    // It was used up by that start; set while capturing it applies at once, in any timescale.
    ASSERT_EQ(start(), std::nullopt);
    backend->deliverAt(a, 10);
    recorder.keepFramesFrom(MediaTime{1'000'000'000, 1'000'000'000, MediaTime::Valid});
    backend->deliverAt(a, 29);
    backend->deliverAt(b, 30);
    outcome = stop();
    ASSERT_EQ(outcome.frames.size(), 2u);
    EXPECT_EQ(outcome.frames[0].timestamp.value, 10);
    EXPECT_EQ(outcome.frames[1].timestamp.value, 30);
}

TEST(PauseTimelineTest, ClosesTheGapInNanosecondTimes) {
    // A 30 fps interval in nanoseconds is 33333333 ticks, rounded.
    PauseTimeline timeline(MediaTime{1, 30, MediaTime::Valid});
    const auto at = [](int64_t ns) { return MediaTime{ns, 1'000'000'000, MediaTime::Valid}; };
    EXPECT_EQ(timeline.place(at(5'000'000'000))->value, 5'000'000'000);
    timeline.pause();
    EXPECT_EQ(timeline.place(at(5'040'000'000)), std::nullopt);
    timeline.resume();
    EXPECT_EQ(timeline.place(at(9'000'000'000))->value, 5'033'333'333);
    EXPECT_EQ(timeline.place(at(9'033'333'333))->value, 5'066'666'666);
    // Invalid times pass through untouched.
    EXPECT_EQ(timeline.place(MediaTime{}), MediaTime{});
}

TEST_F(ScreenRecorderTest, PermissionYesIsCached) {
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_EQ(backend->read(backend->permissionChecks), 1);
    stop();
    {
        std::lock_guard lock(backend->mutex);
        backend->permissionGranted = false;
    }
    // The cached yes stands; the platform is not asked before this start.
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_EQ(backend->read(backend->permissionRequests), 0);
    EXPECT_TRUE(recorder.cachedPermissionGranted());
}

TEST_F(ScreenRecorderTest, MissingPermissionAsksAndFailsEveryTime) {
    backend->permissionGranted = false;
    EXPECT_EQ(start(), RecorderError::noPermission());
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_EQ(backend->read(backend->permissionRequests), 1);
    // Still not cached: the next start checks (and asks) again, even if granted meanwhile.
    EXPECT_EQ(start(), RecorderError::noPermission());
    EXPECT_EQ(backend->read(backend->permissionChecks), 2);
    {
        std::lock_guard lock(backend->mutex);
        backend->permissionGranted = true;
    }
    EXPECT_EQ(start(), std::nullopt);
    EXPECT_EQ(backend->read(backend->starts), 1);
}

TEST_F(ScreenRecorderTest, RefreshCachesAYesButANoNeverClearsIt) {
    recorder.prewarmShareableContent();
    ASSERT_TRUE(test::waitUntil([&] { return recorder.cachedDisplays().has_value(); }, 5s));
    EXPECT_TRUE(recorder.cachedPermissionGranted());
    {
        std::lock_guard lock(backend->mutex);
        backend->permissionGranted = false;
    }
    recorder.prewarmShareableContent();
    settle();
    EXPECT_TRUE(recorder.cachedPermissionGranted());
}

TEST_F(ScreenRecorderTest, CachedDisplayListIsUsedAndRefreshedBehindTheStart) {
    recorder.prewarmShareableContent();
    ASSERT_TRUE(test::waitUntil([&] { return recorder.cachedDisplays().has_value(); }, 5s));
    EXPECT_EQ(backend->read(backend->displayQueries), 1);

    // A display attached after the cached list was read is not found at once...
    {
        std::lock_guard lock(backend->mutex);
        backend->displayList.push_back(CaptureDisplay{2, "B", QRect(1920, 0, 1280, 1024)});
    }
    EXPECT_EQ(start(QRectF(2000, 100, 200, 100)), RecorderError::displayNotFound());
    // ...but the start refreshed the list, so the next attempt finds it.
    ASSERT_TRUE(test::waitUntil([&] { return recorder.cachedDisplays()->size() == 2; }, 5s));
    EXPECT_EQ(start(QRectF(2000, 100, 200, 100)), std::nullopt);
    EXPECT_EQ(backend->read(backend->lastConfiguration).displayId, 2u);
    // Display "B" is missing from the screen list: scale 2.
    EXPECT_EQ(backend->read(backend->lastConfiguration).outputSize, QSize(400, 200));
}

TEST_F(ScreenRecorderTest, StartWithoutCacheReadsTheDisplaysAndReportsTheirFailure) {
    backend->displayFailure = CaptureFailure{"无法连接显示服务器"};
    EXPECT_EQ(start(), RecorderError::platform("无法连接显示服务器"));
    EXPECT_FALSE(recorder.cachedDisplays());
    EXPECT_TRUE(recorder.cachedPermissionGranted());
    EXPECT_EQ(backend->read(backend->starts), 0);
}

TEST_F(ScreenRecorderTest, FailedStreamStartClearsBothCaches) {
    backend->startFailure = CaptureFailure{"共享内存失败"};
    EXPECT_EQ(start(), RecorderError::platform("共享内存失败"));
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_FALSE(recorder.cachedPermissionGranted());
    EXPECT_FALSE(recorder.cachedDisplays());
    {
        std::lock_guard lock(backend->mutex);
        backend->startFailure.reset();
    }
    const int checks = backend->read(backend->permissionChecks);
    const int queries = backend->read(backend->displayQueries);
    EXPECT_EQ(start(), std::nullopt);
    EXPECT_EQ(backend->read(backend->permissionChecks), checks + 1);
    EXPECT_EQ(backend->read(backend->displayQueries), queries + 1);
}

TEST_F(ScreenRecorderTest, StopWithoutStreamOrFramesFailsWithNoFrames) {
    EXPECT_EQ(stop().error, RecorderError::noFrames());
    EXPECT_EQ(backend->read(backend->stops), 0);

    ASSERT_EQ(start(), std::nullopt);
    const StopOutcome outcome = stop();
    EXPECT_EQ(outcome.error, RecorderError::noFrames());
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_EQ(backend->read(backend->stops), 1);
}

TEST_F(ScreenRecorderTest, FailedStopKeepsStreamAndFrames) {
    ASSERT_EQ(start(), std::nullopt);
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 1);
    {
        std::lock_guard lock(backend->mutex);
        backend->stopFailure = CaptureFailure{"停止失败"};
    }
    EXPECT_EQ(stop().error, RecorderError::platform("停止失败"));
    EXPECT_TRUE(recorder.isCapturing());
    EXPECT_EQ(recorder.frameStore().count(), 1u);
    {
        std::lock_guard lock(backend->mutex);
        backend->stopFailure.reset();
    }
    const StopOutcome outcome = stop();
    EXPECT_EQ(outcome.error, std::nullopt);
    EXPECT_EQ(outcome.frames.size(), 1u);
}

TEST_F(ScreenRecorderTest, StartAfterFailedStopEndsTheOldStreamFirst) {
    ASSERT_EQ(start(), std::nullopt);
    {
        std::lock_guard lock(backend->mutex);
        backend->stopFailure = CaptureFailure{"停止失败"};
    }
    stop();
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 1);
    {
        std::lock_guard lock(backend->mutex);
        backend->stopFailure.reset();
    }
    ASSERT_EQ(start(), std::nullopt);
    EXPECT_EQ(backend->read(backend->stops), 2);
    backend->deliverAt(test::solidImage(4, 4, Qt::blue), 2);
    const StopOutcome outcome = stop();
    ASSERT_EQ(outcome.frames.size(), 1u);
    EXPECT_EQ(outcome.frames[0].timestamp.value, 2);
}

TEST_F(ScreenRecorderTest, LateFramesOfAnEarlierRecordingNeverOpenTheNext) {
    ASSERT_EQ(start(), std::nullopt);
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 1);
    CaptureSink oldSink = backend->read(backend->sink);
    ASSERT_EQ(stop().frames.size(), 1u);

    // A frame of the finished stream arrives after the drain, and another sits in the store.
    oldSink.frame(test::solidImage(4, 4, Qt::green), MediaTime{2, 30, MediaTime::Valid});
    recorder.frameStore().append(test::solidImage(4, 4, Qt::green), MediaTime{3, 30, 1});

    ASSERT_EQ(start(), std::nullopt);
    oldSink.frame(test::solidImage(4, 4, Qt::green), MediaTime{4, 30, MediaTime::Valid});
    backend->deliverAt(test::solidImage(4, 4, Qt::blue), 5);
    const StopOutcome outcome = stop();
    ASSERT_EQ(outcome.frames.size(), 1u);
    EXPECT_EQ(outcome.frames[0].timestamp.value, 5);
}

TEST_F(ScreenRecorderTest, StreamDyingBySelfIsReportedAndItsFramesKept) {
    std::vector<RecorderError> reported;
    QObject::connect(&recorder, &ScreenRecorder::streamFailed,
                     [&](const RecorderError& error) { reported.push_back(error); });
    ASSERT_EQ(start(), std::nullopt);
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 1);
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 2);
    backend->fail("显示器已断开");
    ASSERT_TRUE(test::waitUntil([&] { return !reported.empty(); }, 5s));
    EXPECT_EQ(reported.front(), RecorderError::platform("显示器已断开"));
    EXPECT_TRUE(recorder.isCapturing());

    const StopOutcome outcome = stop();
    EXPECT_EQ(outcome.error, std::nullopt);
    EXPECT_EQ(outcome.frames.size(), 2u);
    EXPECT_EQ(reported.size(), 1u);
}

TEST_F(ScreenRecorderTest, AWindowRecordingEndsAsAStopWhenItsWindowCloses) {
    const auto startWindow = [&] {
        StartOutcome outcome;
        recorder.startWindow(CaptureWindow{42, false}, 15, true,
                             [&](std::optional<RecorderError> error) {
                                 outcome = {true, std::move(error)};
                             });
        EXPECT_TRUE(test::waitUntil([&] { return outcome.done; }, 5s));
        return outcome.error;
    };
    // A backend that records whole screens only refuses, and nothing runs.
    EXPECT_TRUE(startWindow());
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_EQ(backend->read(backend->starts), 0);

    backend->windows = true;
    int closed = 0;
    int failed = 0;
    QObject::connect(&recorder, &ScreenRecorder::sourceClosed, [&] { ++closed; });
    QObject::connect(&recorder, &ScreenRecorder::streamFailed, [&] { ++failed; });
    ASSERT_EQ(startWindow(), std::nullopt);
    const CaptureConfiguration configuration = backend->read(backend->lastConfiguration);
    EXPECT_EQ(configuration.window, (CaptureWindow{42, false}));
    EXPECT_EQ(configuration.minimumFrameInterval, CaptureGeometry::frameInterval(15));
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 1);
    backend->deliverAt(test::solidImage(4, 4, Qt::red), 2);
    backend->fail({}, true);
    ASSERT_TRUE(test::waitUntil([&] { return closed > 0; }, 5s));
    EXPECT_EQ(failed, 0);

    const StopOutcome outcome = stop();
    EXPECT_EQ(outcome.error, std::nullopt);
    EXPECT_EQ(outcome.frames.size(), 2u);
}

TEST_F(ScreenRecorderTest, OverlappingStartIsRefusedWithoutDisturbingTheFirst) {
    StartOutcome first;
    StartOutcome second;
    recorder.start(QRectF(0, 0, 100, 100), 30, false, [&](std::optional<RecorderError> error) {
        first = {true, error};
    });
    recorder.start(QRectF(0, 0, 100, 100), 30, false, [&](std::optional<RecorderError> error) {
        second = {true, error};
    });
    ASSERT_TRUE(test::waitUntil([&] { return first.done && second.done; }, 5s));
    EXPECT_EQ(first.error, std::nullopt);
    ASSERT_TRUE(second.error);
    EXPECT_EQ(second.error->kind, RecorderError::Kind::busy);
    EXPECT_TRUE(recorder.isCapturing());
    EXPECT_EQ(backend->read(backend->starts), 1);
}

TEST_F(ScreenRecorderTest, DestroyingTheRecorderEndsItsStream) {
    auto own = std::make_unique<ScreenRecorder>(backend);
    StartOutcome outcome;
    own->start(QRectF(0, 0, 100, 100), 10, true, [&](std::optional<RecorderError> error) {
        outcome = {true, error};
    });
    ASSERT_TRUE(test::waitUntil([&] { return outcome.done; }, 5s));
    ASSERT_EQ(outcome.error, std::nullopt);
    own.reset();
    EXPECT_FALSE(backend->read(backend->running));
}

}  // namespace
}  // namespace mirelo
