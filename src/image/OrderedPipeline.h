#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace mirelo {

// Jobs run on worker threads and taken back in the order they were given,
// so that the caller prepares or consumes one while the workers run the
// next ones. Workers start jobs oldest first; how far ahead of the caller
// they run is the caller's to bound, by what it gives (IndexedPipeline
// below keeps a window of a fixed size).
//
// The workers are threads of the pipeline's own rather than workerPool()'s:
// a pipeline's caller often runs on that pool itself and waits for what its
// workers make, and workers queued behind busy callers there would never
// start.
template <typename Job>
class OrderedPipeline {
public:
    // Runs one job on the worker numbered `worker` (0 up to the worker
    // count), for state a worker keeps from job to job. Returning false
    // stops the pipeline after this job: jobs not started are not run.
    using Work = std::function<bool(Job& job, int worker)>;
    // Asked about every 50 ms while take() waits: true gives up waiting.
    // (A cancellation set from a signal handler cannot wake a waiter.)
    using GiveUp = std::function<bool()>;

    OrderedPipeline(int workers, Work work) : m_work(std::move(work)) {
        for (int i = 0; i < std::max(1, workers); ++i) {
            m_threads.emplace_back([this, i] { run(i); });
        }
    }

    // Stops, and waits for the jobs running to end.
    ~OrderedPipeline() {
        stop();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    void submit(Job job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back({std::move(job), false});
        }
        m_changed.notify_all();
    }

    // Jobs given and not yet taken.
    size_t pending() const {
        std::lock_guard lock(m_mutex);
        return m_jobs.size();
    }

    // Whether the oldest job not taken has run.
    bool oldestDone() const {
        std::lock_guard lock(m_mutex);
        return !m_jobs.empty() && m_jobs.front().done;
    }

    // The oldest job not taken, once it has run. Nothing when no job is
    // left, when the oldest will never run (the pipeline stopped before it
    // started), or when `giveUp` said so (the job stays for a later take).
    std::optional<Job> take(const GiveUp& giveUp = {}) {
        std::unique_lock lock(m_mutex);
        const auto settled = [this] {
            return m_jobs.empty() || m_jobs.front().done || (m_stopped && m_started == 0);
        };
        if (giveUp) {
            while (!settled()) {
                if (giveUp()) {
                    return std::nullopt;
                }
                m_changed.wait_for(lock, std::chrono::milliseconds(50));
            }
        } else {
            m_changed.wait(lock, settled);
        }
        if (m_jobs.empty() || !m_jobs.front().done) {
            return std::nullopt;
        }
        std::optional<Job> job(std::move(m_jobs.front().job));
        m_jobs.pop_front();
        --m_started;
        return job;
    }

    // Runs no job not yet started; those running end as they do.
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    struct Entry {
        Job job;
        bool done = false;
    };

    void run(int worker) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopped || m_started < m_jobs.size(); });
            if (m_stopped) {
                return;
            }
            // Entries of a deque stay where they are while others are added
            // at the back or taken from the front.
            Entry& entry = m_jobs[m_started++];
            lock.unlock();
            const bool goOn = m_work(entry.job, worker);
            lock.lock();
            entry.done = true;
            if (!goOn) {
                m_stopped = true;
            }
            m_changed.notify_all();
        }
    }

    const Work m_work;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_jobs;  // given, not yet taken; the first m_started have started
    size_t m_started = 0;
    bool m_stopped = false;
    std::vector<std::thread> m_threads;
};

// Items 0 up to a count, each made by a function of its index on worker
// threads, at most `ahead` items beyond the one taken last, and taken in
// increasing order. Memory then holds only the items in that window.
template <typename T>
class IndexedPipeline {
public:
    // Makes item `index` into `out` on the worker numbered `worker`.
    // Returning false stops the pipeline after this item (which can still
    // be taken): items not started are not made.
    using Make = std::function<bool(size_t index, T& out, int worker)>;
    using GiveUp = typename std::function<bool()>;

    // Starts making the first items at once.
    IndexedPipeline(size_t count, int workers, size_t ahead, Make make)
        : m_count(count),
          m_ahead(ahead),
          m_make(std::move(make)),
          m_pipeline(workers, [this](Item& item, int worker) {
              return m_make(item.index, item.value, worker);
          }) {
        fillWindow(0);
    }

    size_t count() const { return m_count; }

    // Item `index` once it is made. Items before it not taken yet are
    // dropped (waiting for those being made): ask for each index at most
    // once, in increasing order. Nothing for an index out of range or asked
    // out of order, for an item never made (the pipeline stopped first), or
    // when `giveUp` said so.
    std::optional<T> take(size_t index, const GiveUp& giveUp = {}) {
        if (index >= m_count || index < m_taken) {
            return std::nullopt;
        }
        fillWindow(index);
        for (;;) {
            std::optional<Item> item = m_pipeline.take(giveUp);
            if (!item) {
                return std::nullopt;
            }
            m_taken = item->index + 1;
            if (item->index == index) {
                return std::move(item->value);
            }
        }
    }

    // Makes no item not yet started.
    void stop() { m_pipeline.stop(); }

private:
    struct Item {
        size_t index = 0;
        T value{};
    };

    void fillWindow(size_t taking) {
        const size_t end = std::min(m_count, taking + m_ahead + 1);
        for (; m_given < end; ++m_given) {
            m_pipeline.submit(Item{m_given, T{}});
        }
    }

    const size_t m_count;
    const size_t m_ahead;
    const Make m_make;
    size_t m_given = 0;  // items handed to the workers
    size_t m_taken = 0;  // items before this one are taken or dropped
    // Last: its workers use the members above, and end first.
    OrderedPipeline<Item> m_pipeline;
};

}  // namespace mirelo
