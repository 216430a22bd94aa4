#include "export/GifCompressPool.h"

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

CompressPool::CompressPool(int workers, const uint8_t* near)
    : m_near(near),
      m_state(size_t(std::max(1, workers))),
      m_pipeline(workers, [this](std::unique_ptr<FrameJob>& job, int worker) {
          Worker& state = m_state[size_t(worker)];
          compressWith(state.lzw, *job, m_near, state.scratch);
          job->done = true;
          return true;
      }) {}

CompressPool::~CompressPool() = default;

void CompressPool::submit(std::unique_ptr<FrameJob> job) {
    m_pipeline.submit(std::move(job));
}

size_t CompressPool::inFlight() const {
    return m_pipeline.pending();
}

bool CompressPool::oldestDone() const {
    return m_pipeline.oldestDone();
}

std::unique_ptr<FrameJob> CompressPool::takeOldest() {
    return m_pipeline.take().value_or(nullptr);
}

}  // namespace mirelo::gif
