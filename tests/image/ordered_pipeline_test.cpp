// Jobs run on worker threads and taken back in order, with a bounded window,
// a stop on failure and waits that can be given up.
#include "image/OrderedPipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

// Lets jobs through one by one when told, so a test decides the order in
// which they end.
class Gate {
public:
    void open(int job) {
        {
            std::lock_guard lock(m_mutex);
            m_open.insert(job);
        }
        m_changed.notify_all();
    }
    void pass(int job) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open.count(job) > 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<int> m_open;
};

template <typename Condition>
void waitUntil(Condition condition) {
    while (!condition()) {
        std::this_thread::sleep_for(1ms);
    }
}

}  // namespace

TEST(OrderedPipeline, HandsJobsBackInTheOrderGivenWhateverOrderTheyEndIn) {
    Gate gate;
    std::atomic<int> running{0};
    std::mutex workersMutex;
    std::set<int> workers;
    OrderedPipeline<std::pair<int, int>> pipeline(4, [&](std::pair<int, int>& job, int worker) {
        {
            std::lock_guard lock(workersMutex);
            workers.insert(worker);
        }
        ++running;
        gate.pass(job.first);
        job.second = job.first * 10;
        return true;
    });
    for (int i = 0; i < 4; ++i) {
        pipeline.submit({i, -1});
    }
    // Every worker takes a job of its own.
    waitUntil([&] { return running.load() == 4; });
    // The last ends first: the oldest is still not done, so nothing is ready.
    gate.open(3);
    gate.open(2);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(pipeline.oldestDone());
    EXPECT_EQ(pipeline.pending(), 4u);
    gate.open(1);
    gate.open(0);
    for (int i = 0; i < 4; ++i) {
        const auto job = pipeline.take();
        ASSERT_TRUE(job);
        EXPECT_EQ(job->first, i);
        EXPECT_EQ(job->second, i * 10);
    }
    EXPECT_EQ(workers, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(pipeline.pending(), 0u);
    EXPECT_FALSE(pipeline.take());
}

TEST(OrderedPipeline, AFailedJobIsHandedBackAndNoLaterJobRuns) {
    std::atomic<int> ran{0};
    OrderedPipeline<int> pipeline(1, [&](int& job, int) {
        ++ran;
        return job != 1;
    });
    for (int i = 0; i < 5; ++i) {
        pipeline.submit(i);
    }
    EXPECT_EQ(pipeline.take(), 0);
    EXPECT_EQ(pipeline.take(), 1);
    EXPECT_FALSE(pipeline.take());
    EXPECT_FALSE(pipeline.take());
    EXPECT_EQ(ran.load(), 2);
}

TEST(OrderedPipeline, AWaitGivenUpLeavesTheJobForALaterTake) {
    Gate gate;
    OrderedPipeline<int> pipeline(2, [&](int& job, int) {
        gate.pass(job);
        return true;
    });
    pipeline.submit(7);
    std::atomic<bool> giveUp{false};
    std::thread cancel([&] {
        std::this_thread::sleep_for(30ms);
        giveUp = true;
    });
    EXPECT_FALSE(pipeline.take([&] { return giveUp.load(); }));
    cancel.join();
    gate.open(7);
    EXPECT_EQ(pipeline.take([] { return false; }), 7);
}

TEST(OrderedPipeline, EndsWithJobsLeftUnrunAndRunningOnesFinished) {
    Gate gate;
    std::atomic<int> started{0};
    std::atomic<int> ran{0};
    {
        OrderedPipeline<int> pipeline(2, [&](int& job, int) {
            ++started;
            gate.pass(job);
            ++ran;
            return true;
        });
        for (int i = 0; i < 50; ++i) {
            pipeline.submit(i);
        }
        waitUntil([&] { return started.load() == 2; });
        pipeline.stop();
        gate.open(0);
        gate.open(1);
    }
    EXPECT_EQ(ran.load(), 2);
}

TEST(IndexedPipeline, MakesItemsNoFurtherAheadThanItsWindow) {
    constexpr size_t kAhead = 3;
    std::atomic<size_t> taken{0};
    std::atomic<size_t> furthest{0};
    std::atomic<bool> beyondWindow{false};
    std::atomic<size_t> made{0};
    IndexedPipeline<size_t> pipeline(40, 4, kAhead, [&](size_t index, size_t& out, int) {
        if (index > taken.load() + kAhead) {
            beyondWindow = true;
        }
        furthest = std::max(furthest.load(), index);
        ++made;
        std::this_thread::sleep_for(1ms);
        out = index * index;
        return true;
    });
    // Before anything is taken, only the first window is made.
    waitUntil([&] { return made.load() == kAhead + 1; });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(furthest.load(), kAhead);
    for (size_t i = 0; i < 40; ++i) {
        taken = i;
        EXPECT_EQ(pipeline.take(i), i * i);
    }
    EXPECT_FALSE(beyondWindow.load());
    EXPECT_FALSE(pipeline.take(40));
}

TEST(IndexedPipeline, SkippedItemsAreDroppedAndEarlierOnesCannotBeAskedAgain) {
    IndexedPipeline<int> pipeline(10, 2, 2, [](size_t index, int& out, int) {
        out = int(index);
        return true;
    });
    EXPECT_EQ(pipeline.take(0), 0);
    EXPECT_EQ(pipeline.take(4), 4);
    EXPECT_FALSE(pipeline.take(3));
    EXPECT_EQ(pipeline.take(5), 5);
    EXPECT_EQ(pipeline.take(9), 9);
}

TEST(IndexedPipeline, StopsAtTheItemThatFailed) {
    std::atomic<int> made{0};
    IndexedPipeline<int> pipeline(20, 1, 5, [&](size_t index, int& out, int) {
        ++made;
        out = int(index);
        return index != 2;
    });
    EXPECT_EQ(pipeline.take(0), 0);
    EXPECT_EQ(pipeline.take(1), 1);
    EXPECT_EQ(pipeline.take(2), 2);
    EXPECT_FALSE(pipeline.take(3));
    EXPECT_EQ(made.load(), 3);
}
