#include "export/GIFEncoder.h"

#include "export/AtomicFile.h"
#include "export/GifBlockWriter.h"
#include "export/GifCompressPool.h"
#include "export/GifFrameDiff.h"
#include "export/GifPaletteCompaction.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>

namespace mirelo {

namespace GIFEncoder {

using GIFQuantizer::IndexedFrame;
using Kind = ExportError::Kind;
using GIFQuantizer::Palette;

std::vector<int> delaysInHundredths(const std::vector<double>& delays) {
    constexpr int kMin = 2;
    constexpr int kMax = 65535;
    std::vector<int> out;
    out.reserve(delays.size());
    double exact = 0;       // sum of the clamped delays so far, in hundredths
    long long written = 0;  // sum of what was written so far
    for (double delay : delays) {
        double d = std::isnan(delay) ? 0.0 : delay;
        d = std::clamp(d, 0.02, kMax / 100.0);
        exact += d * 100.0;
        const long long target = std::llround(exact);
        const int cs = static_cast<int>(std::clamp<long long>(target - written, kMin, kMax));
        written += cs;
        out.push_back(cs);
    }
    return out;
}

using gif::BlockWriter;
using gif::CompressPool;
using gif::FrameJob;
using gif::Rect;
using gif::StoredFrame;

namespace {

// Of the pixels of `job`'s rectangle that its frame changes, keeps marked
// those that also differ between `shown` (the frame's whole indices) and
// `next` (the next frame's).
void markDeviations(FrameJob& job, const uint8_t* shown, const uint8_t* next, int width) {
    const Rect& r = job.rect;
    for (int y = 0; y < r.h; ++y) {
        const size_t offset = size_t(r.y + y) * size_t(width) + size_t(r.x);
        uint8_t* out = job.mayDeviate.data() + size_t(y) * size_t(r.w);
        for (int x = 0; x < r.w; ++x) {
            out[x] &= uint8_t(shown[offset + size_t(x)] != next[offset + size_t(x)]);
        }
    }
}

// One pass over the frames: each is compared with the output before it,
// compressed on every core, and kept in order in `stored`: every way when
// `ways` is null, else the way `ways` holds for it. `counts` (when
// given) receives how often each index is newly shown. `spareIndex` is the
// index free for transparency, or negative when the palette is full.
ExportStatus compressAll(int frameCount, const std::function<const IndexedFrame*(int)>& frameAt,
                         const IndexedFrame* first, int width, int height, uint8_t fill,
                         int spareIndex, const std::vector<int>& hundredths, const uint8_t* near,
                         const CancelFlag& cancel, const ProgressFn& progress,
                         const std::vector<StoredFrame>* ways, std::vector<StoredFrame>& stored,
                         std::array<uint64_t, 256>* counts) {
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const size_t maxInFlight = size_t(2 * cores + 2);
    CompressPool pool(cores, near);
    // Jobs taken back are reused, so their buffers are not allocated anew.
    std::vector<std::unique_ptr<FrameJob>> spare;
    const auto takeOldest = [&] {
        std::unique_ptr<FrameJob> job = pool.takeOldest();
        stored.push_back({job->rect, job->delay, job->transparent, std::move(job->data),
                          std::move(job->stillBits), job->chosen});
        job->data = {};
        job->stillBits = {};
        spare.push_back(std::move(job));
        if (progress) {
            progress(int(stored.size()), frameCount);
        }
    };

    IndexedFrame currentStorage;
    std::vector<uint8_t> previous;
    std::unique_ptr<FrameJob> pending;  // a lossy frame waiting for the next
    for (int i = 0; i < frameCount; ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        const IndexedFrame* source = i == 0 ? first : frameAt(i);
        if (source == nullptr) {
            return ExportError::cancelled();
        }
        const IndexedFrame* frame = &gif::fitted(*source, width, height, fill, currentStorage);
        if (i > 0 && !source->still.empty()) {
            frame = &gif::withStillKept(*frame, *source, previous, currentStorage);
        }
        const uint8_t* cur = frame->indices.data();

        std::unique_ptr<FrameJob> job;
        if (spare.empty()) {
            job = std::make_unique<FrameJob>();
        } else {
            job = std::move(spare.back());
            spare.pop_back();
            job->unchanged.clear();
        }
        job->done = false;
        job->transparent = -1;
        job->delay = hundredths[size_t(i)];
        job->forced.reset();
        if (ways != nullptr) {
            job->forced = (*ways)[size_t(i)].choice;
        }
        if (i == 0) {
            job->rect = {0, 0, width, height};
            job->pixels.assign(cur, cur + size_t(width) * size_t(height));
            if (near != nullptr) {
                job->mayDeviate.assign(job->pixels.size(), 1);
            }
            if (counts) {
                for (uint8_t index : job->pixels) {
                    ++(*counts)[index];
                }
            }
        } else {
            Rect rect = gif::changedRect(previous.data(), cur, width, height);
            if (rect.isEmpty()) {
                // Nothing changed: one pixel, as it already is.
                rect = {0, 0, 1, 1};
            }
            job->rect = rect;
            std::vector<uint8_t>& pixels = job->pixels;
            std::vector<uint8_t>& unchanged = job->unchanged;
            pixels.resize(size_t(rect.w) * size_t(rect.h));
            unchanged.resize(pixels.size());
            for (int y = 0; y < rect.h; ++y) {
                const size_t offset = size_t(rect.y + y) * size_t(width) + size_t(rect.x);
                uint8_t* __restrict out = pixels.data() + size_t(y) * size_t(rect.w);
                uint8_t* __restrict same = unchanged.data() + size_t(y) * size_t(rect.w);
                const uint8_t* __restrict before = previous.data() + offset;
                std::memcpy(out, cur + offset, size_t(rect.w));
                for (int x = 0; x < rect.w; ++x) {
                    same[x] = out[x] == before[x];
                }
            }
            if (counts) {
                for (size_t p = 0; p < pixels.size(); ++p) {
                    (*counts)[pixels[p]] += unchanged[p] ^ 1u;
                }
            }
            if (near != nullptr) {
                job->mayDeviate.resize(pixels.size());
                for (size_t p = 0; p < pixels.size(); ++p) {
                    job->mayDeviate[p] = unchanged[p] ^ 1u;
                }
                job->stillBits.assign((pixels.size() + 7) / 8, 0);
                for (size_t p = 0; p < pixels.size(); ++p) {
                    job->stillBits[p / 8] |= uint8_t(unchanged[p] << (p % 8));
                }
            }
            int frameTransparent = spareIndex;
            if (frameTransparent < 0) {
                std::array<bool, 256> used{};
                for (size_t p = 0; p < pixels.size(); ++p) {
                    used[pixels[p]] = used[pixels[p]] || !unchanged[p];
                }
                const auto unused = std::find(used.begin(), used.end(), false);
                if (unused != used.end()) {
                    frameTransparent = int(unused - used.begin());
                }
            }
            job->transparent = frameTransparent;
            if (frameTransparent < 0) {
                unchanged.clear();
            }
        }
        // A lossy frame waits for the next one: only a pixel that the next
        // frame changes again may be written as a near colour, so every
        // pixel a frame leaves still shows its exact colour, and a still
        // pixel can be written as it is.
        if (pending) {
            markDeviations(*pending, previous.data(), cur, width);
            pool.submit(std::move(pending));
        }
        if (frame == &currentStorage) {
            previous.swap(currentStorage.indices);
        } else {
            previous.assign(cur, cur + size_t(width) * size_t(height));
        }
        if (near != nullptr) {
            pending = std::move(job);
        } else {
            pool.submit(std::move(job));
        }
        while (pool.inFlight() >= maxInFlight || pool.oldestDone()) {
            takeOldest();
        }
    }
    if (pending) {
        // The loop starts again with a whole first frame.
        pool.submit(std::move(pending));
    }
    while (pool.inFlight() > 0) {
        takeOldest();
    }
    return std::nullopt;
}

size_t dataSize(const std::vector<StoredFrame>& frames) {
    size_t bytes = 0;
    for (const StoredFrame& frame : frames) {
        bytes += frame.data.size();
    }
    return bytes;
}

int tableEntriesFor(int colors) {
    return int(std::bit_ceil(unsigned(std::max(4, colors + (colors < 256 ? 1 : 0)))));
}

}  // namespace

int lossyErrorBound(int strength) {
    return (std::clamp(strength, 0, 100) * 2 + 2) / 5;
}

ExportStatus encodeStream(const Palette& palette, int frameCount,
                          const std::function<const IndexedFrame*(int)>& frameAt,
                          const std::vector<double>& delays, const QString& destination,
                          const CancelFlag& cancel, const ProgressFn& progress, int lossy) {
    if (frameCount <= 0 || size_t(frameCount) != delays.size() || palette.empty() ||
        palette.size() > 256) {
        return ExportError::of(Kind::noFrames);
    }
    AtomicFile file(destination);
    if (!file.isOpen()) {
        return ExportError::of(Kind::gifCreateFailed);
    }
    BlockWriter writer(file.tempPath());
    if (!writer.isOpen()) {
        return ExportError::of(Kind::gifCreateFailed);
    }

    const IndexedFrame* first = frameAt(0);
    if (first == nullptr) {
        return ExportError::cancelled();
    }
    const int width = std::clamp(first->width, 1, 65535);
    const int height = std::clamp(first->height, 1, 65535);

    // Pixels that did not change become transparent, which leaves long runs
    // of one index for the compressor. A palette with room to spare gives its
    // first free index to transparency; a full one lends each frame an index
    // that none of the frame's changed pixels uses, if there is one.
    const int colors = int(palette.size());
    const int spareIndex = colors < 256 ? colors : -1;

    // Frames of another size are placed top-left on a white canvas.
    uint8_t white = 0;
    {
        int best = 1 << 30;
        for (int i = 0; i < colors; ++i) {
            const auto& c = palette[size_t(i)];
            const int d =
                (255 - c.r) * (255 - c.r) + (255 - c.g) * (255 - c.g) + (255 - c.b) * (255 - c.b);
            if (d < best) {
                best = d;
                white = uint8_t(i);
            }
        }
    }

    // The frames are compressed as they come, and kept (compressed, about
    // the file's size) until the colours they show are known: when they are
    // fewer than the palette holds, a smaller table with shorter codes
    // holds them, and the frames are read back and compressed again with it.
    const std::vector<int> hundredths = delaysInHundredths(delays);
    std::vector<StoredFrame> stored;
    stored.reserve(size_t(frameCount));
    std::array<uint64_t, 256> counts{};
    // Lossy matching: which colour may stand for which.
    std::vector<uint8_t> near;
    if (lossy > 0) {
        const int bound = lossyErrorBound(lossy);
        near.assign(256 * 256, 0);
        for (int a = 0; a < colors; ++a) {
            for (int b = 0; b < colors; ++b) {
                const auto& p = palette[size_t(a)];
                const auto& q = palette[size_t(b)];
                const int error =
                    std::max({std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
                near[size_t(a) * 256 + size_t(b)] = error <= bound ? 1 : 0;
            }
        }
    }
    if (ExportStatus status = compressAll(frameCount, frameAt, first, width, height, white,
                                          spareIndex, hundredths, lossy > 0 ? near.data() : nullptr,
                                          cancel, progress, nullptr, stored, &counts)) {
        return status;
    }
    const Palette* written = &palette;
    int tableEntries = tableEntriesFor(colors);
    std::optional<gif::Compaction> compaction = gif::compactPalette(palette, counts, tableEntries);
    if (compaction) {
        gif::CanvasReplay replay(stored, *compaction, width, height);
        std::vector<StoredFrame> again;
        again.reserve(stored.size());
        const auto replayed = [&replay](int i) { return replay.frame(i); };
        const IndexedFrame* replayFirst = replay.frame(0);
        if (replayFirst == nullptr) {
            return ExportError::of(Kind::gifWriteFailed);
        }
        if (ExportStatus status =
                compressAll(frameCount, replayed, replayFirst, width, height, 0, 0, hundredths,
                            nullptr, cancel, {}, &stored, again, nullptr)) {
            // A frame that cannot be read back is the writer's own fault.
            return cancel.isCancelled() ? ExportError::cancelled()
                                        : ExportError::of(Kind::gifWriteFailed);
        }
        // Lossy frames compressed again exactly lose the parse lossy
        // matching found, which can cost more than the smaller table saves.
        const int fewer = tableEntriesFor(int(compaction->palette.size()) - 1);
        if (lossy == 0 ||
            dataSize(again) + size_t(fewer) * 3 < dataSize(stored) + size_t(tableEntries) * 3) {
            stored = std::move(again);
            written = &compaction->palette;
            tableEntries = fewer;
        }
    }

    if (!writer.writeHeader(width, height, *written, tableEntries)) {
        return ExportError::of(Kind::gifWriteFailed);
    }
    for (const StoredFrame& frame : stored) {
        if (!writer.writeFrame(frame.rect, frame.delay, frame.transparent, frame.data)) {
            return ExportError::of(Kind::gifWriteFailed);
        }
    }
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    if (!writer.close()) {
        return ExportError::of(Kind::gifWriteFailed);
    }
    if (!file.commit()) {
        return ExportError::of(Kind::gifCreateFailed);
    }
    return std::nullopt;
}

}  // namespace GIFEncoder
}  // namespace mirelo
