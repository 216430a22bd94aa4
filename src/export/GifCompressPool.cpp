#include "export/GifCompressPool.h"

#include "export/GifLzw.h"

#include <algorithm>
#include <bit>

namespace mirelo::gif {

namespace {

// The smallest code size (2..8) that holds every index of `pixels` and
// `extra` (ignored when negative).
int minimumCodeSize(const std::vector<uint8_t>& pixels, int extra) {
    uint8_t all = uint8_t(std::max(0, extra));
    for (uint8_t index : pixels) {
        all |= index;
    }
    return std::max(2, int(std::bit_width(unsigned(all))));
}

void compressWith(LzwCompressor& lzw, FrameJob& job, const uint8_t* near,
                  std::vector<uint8_t>& scratch) {
    const bool canHide = job.transparent >= 0 && !job.unchanged.empty();
    const uint8_t* unchanged = canHide ? job.unchanged.data() : nullptr;
    // Compresses one way; keeps the result when it is the first or smaller.
    bool any = false;
    FrameChoice best;
    const uint8_t* mayDeviate = job.mayDeviate.size() == job.pixels.size() && !job.pixels.empty()
                                    ? job.mayDeviate.data()
                                    : nullptr;
    const auto attempt = [&](FrameChoice way, const uint8_t* nearTable) {
        LzwChoice choice;
        choice.hide = way.hide && canHide;
        choice.minCodeSize = minimumCodeSize(job.pixels, choice.hide ? job.transparent : -1);
        choice.clearWhenFull = way.clearWhenFull;
        choice.near = nearTable;
        choice.mayDeviate = mayDeviate;
        std::vector<uint8_t>& out = any ? scratch : job.data;
        const bool filled = lzw.compress(job.pixels.data(), choice.hide ? unchanged : nullptr,
                                         job.pixels.size(), job.transparent, choice, out);
        if (!any || scratch.size() < job.data.size()) {
            if (any) {
                job.data.swap(scratch);
            }
            best = {choice.hide, choice.clearWhenFull};
        }
        any = true;
        return filled;
    };
    if (job.forced) {
        attempt(*job.forced, near);
    } else {
        // Lossy matching is greedy: a longer match now can leave worse ones
        // after it, so each way is also tried exactly.
        for (const uint8_t* nearTable : {near, static_cast<const uint8_t*>(nullptr)}) {
            for (const bool hide : {true, false}) {
                if (!hide && !canHide) {
                    break;  // the plain way is the one just tried
                }
                // A full table kept differs only when the table filled up.
                if (attempt({hide, true}, nearTable)) {
                    attempt({hide, false}, nearTable);
                }
            }
            if (nearTable == nullptr) {
                break;
            }
        }
    }
    job.chosen = best;
    if (!best.hide) {
        job.transparent = -1;
    }
}

}  // namespace

CompressPool::CompressPool(int workers, const uint8_t* near) : m_near(near) {
    for (int i = 0; i < workers; ++i) {
        m_workers.emplace_back([this] { work(); });
    }
}

CompressPool::~CompressPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void CompressPool::submit(std::unique_ptr<FrameJob> job) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(job.get());
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

size_t CompressPool::inFlight() const {
    std::lock_guard lock(m_mutex);
    return m_jobs.size();
}

bool CompressPool::oldestDone() const {
    std::lock_guard lock(m_mutex);
    return !m_jobs.empty() && m_jobs.front()->done;
}

std::unique_ptr<FrameJob> CompressPool::takeOldest() {
    std::unique_lock lock(m_mutex);
    if (m_jobs.empty()) {
        return nullptr;
    }
    m_changed.wait(lock, [this] { return m_jobs.front()->done; });
    std::unique_ptr<FrameJob> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    return job;
}

void CompressPool::work() {
    LzwCompressor lzw;
    std::vector<uint8_t> scratch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop) {
            return;
        }
        FrameJob* job = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        compressWith(lzw, *job, m_near, scratch);
        lock.lock();
        job->done = true;
        m_changed.notify_all();
    }
}

}  // namespace mirelo::gif
