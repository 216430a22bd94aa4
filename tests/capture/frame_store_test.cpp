#include "capture/FrameStore.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace mirelo;

namespace {
MediaTime at(int64_t value) {
    return MediaTime{value, 600, MediaTime::Valid};
}
}  // namespace

TEST(FrameStore, DrainReturnsFramesInOrderAndEmptiesTheStore) {
    FrameStore store;
    EXPECT_TRUE(store.drain().empty());
    const Image a = test::solidImage(4, 4, Qt::red);
    store.append(a, at(10));
    store.append(a, at(20));  // identical images stay separate frames
    store.append(test::solidImage(4, 4, Qt::blue), MediaTime{7, 30, MediaTime::Valid});

    const auto frames = store.drain();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].timestamp.value, 10);
    EXPECT_EQ(frames[1].timestamp.value, 20);
    EXPECT_TRUE(frames[0].image.sharesPixelsWith(a));
    // All four fields of the time survive.
    EXPECT_EQ(frames[2].timestamp, (MediaTime{7, 30, MediaTime::Valid}));
    EXPECT_DOUBLE_EQ(frames[2].timestamp.seconds(), 7.0 / 30.0);

    EXPECT_TRUE(store.drain().empty());
    EXPECT_EQ(store.count(), 0u);
}

TEST(FrameStore, ConcurrentAppendsAreNeitherLostNorDuplicatedAcrossDrains) {
    FrameStore store;
    const Image image = test::solidImage(2, 2, Qt::green);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 5000;
    std::atomic<bool> go{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            while (!go.load()) {
            }
            for (int i = 0; i < kPerThread; ++i) {
                store.append(image, at(int64_t(t) * kPerThread + i));
            }
        });
    }
    std::vector<int64_t> seen;
    go = true;
    // Drain repeatedly while the writers run.
    for (int round = 0; round < 200; ++round) {
        for (const auto& frame : store.drain()) {
            seen.push_back(frame.timestamp.value);
        }
    }
    for (auto& w : writers) {
        w.join();
    }
    for (const auto& frame : store.drain()) {
        seen.push_back(frame.timestamp.value);
    }
    ASSERT_EQ(seen.size(), size_t(kThreads * kPerThread));
    // Each writer's frames come out in the order it appended them.
    std::vector<int64_t> last(kThreads, -1);
    for (int64_t value : seen) {
        const auto writer = static_cast<size_t>(value / kPerThread);
        ASSERT_GT(value, last[writer]);
        last[writer] = value;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

TEST(MediaTime, InvalidTimeHasNoSeconds) {
    EXPECT_EQ((MediaTime{5, 0, MediaTime::Valid}).seconds(), 0.0);
    EXPECT_EQ((MediaTime{5, 10, 0}).seconds(), 0.0);
    EXPECT_FALSE(MediaTime{}.isValid());
}
