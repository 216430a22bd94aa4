#include "export/GIFEncoder.h"

#include "export/AtomicFile.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
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

namespace {

// The rectangle of pixels that differ between two frames of equal size.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool isEmpty() const { return w <= 0 || h <= 0; }
};

// The first x below `end` where the rows differ, or `end`; eight bytes at a time.
int firstDifference(const uint8_t* a, const uint8_t* b, int end) {
    int x = 0;
    for (; x + 8 <= end; x += 8) {
        uint64_t u, v;
        std::memcpy(&u, a + x, 8);
        std::memcpy(&v, b + x, 8);
        if (u != v) {
            break;
        }
    }
    while (x < end && a[x] == b[x]) {
        ++x;
    }
    return x;
}

// The last x above `floor` where the rows differ, or `floor`.
int lastDifference(const uint8_t* a, const uint8_t* b, int floor, int width) {
    int x = width;  // one past the part left to compare
    for (; x - 8 > floor; x -= 8) {
        uint64_t u, v;
        std::memcpy(&u, a + x - 8, 8);
        std::memcpy(&v, b + x - 8, 8);
        if (u != v) {
            break;
        }
    }
    --x;
    while (x > floor && a[x] == b[x]) {
        --x;
    }
    return x;
}

Rect changedRect(const uint8_t* prev, const uint8_t* cur, int width, int height) {
    const size_t row = size_t(width);
    int top = 0;
    while (top < height &&
           std::memcmp(prev + row * size_t(top), cur + row * size_t(top), row) == 0) {
        ++top;
    }
    if (top == height) {
        return {};
    }
    int bottom = height - 1;
    while (bottom > top &&
           std::memcmp(prev + row * size_t(bottom), cur + row * size_t(bottom), row) == 0) {
        --bottom;
    }
    int left = width, right = -1;
    for (int y = top; y <= bottom; ++y) {
        const uint8_t* a = prev + row * size_t(y);
        const uint8_t* b = cur + row * size_t(y);
        left = std::min(left, firstDifference(a, b, left));
        right = std::max(right, lastDifference(a, b, right, width));
    }
    return {left, top, right - left + 1, bottom - top + 1};
}
// Compresses a frame's pixels to GIF image data: the minimum code size, then
// the LZW codes (greedy parse, codes of at most 12 bits, a clear code when
// the table is full) in sub-blocks of up to 255 bytes, then the terminator.
// Along the way it picks, for every unchanged pixel, whether to write it as
// it is or as the transparent index: both show the same, so the choice only
// matters to the compressor. It takes whichever symbol extends the current
// match; when neither does, it repeats the symbol just written, so runs grow.
// One instance per thread; each call starts afresh.
class FrameCompressor {
public:
    explicit FrameCompressor(int bitsPerPixel)
        : m_minCodeSize(std::clamp(bitsPerPixel, 2, 8)),
          m_clear(1 << m_minCodeSize),
          m_firstCode(m_clear + 2),
          m_table(kSlots, kEmpty) {}

    // `unchanged` marks the pixels that equal the frame before (or is null);
    // `transparent` is the index that shows the frame before, or negative.
    void compress(const uint8_t* pixels, const uint8_t* unchanged, size_t count, int transparent,
                  std::vector<uint8_t>& out) {
        // Codes are at most 12 bits per pixel, plus the clear and end codes.
        m_codes.resize(count * 2 + 16);
        m_at = m_codes.data();
        m_bits = 0;
        m_pending = 0;
        m_width = m_minCodeSize + 1;
        put(m_clear);
        reset();
        const bool hides = unchanged != nullptr && transparent >= 0;
        const uint8_t hidden = uint8_t(std::max(0, transparent));
        int current = -1;
        uint8_t last = 0;  // the symbol written for the pixel before
        for (size_t i = 0; i < count; ++i) {
            const uint8_t actual = pixels[i];
            const bool hide = hides && unchanged[i];
            if (current < 0) {
                last = hide ? hidden : actual;
                current = last;
                continue;
            }
            // The transparent index first when it may stand for the pixel.
            int code = hide ? find(current, hidden) : -1;
            uint8_t symbol = hidden;
            if (code < 0) {
                code = find(current, actual);
                symbol = actual;
            }
            if (code >= 0) {
                current = code;
                last = symbol;
                continue;
            }
            // No match: emit `current` and start over from this symbol,
            // remembering current + symbol as a new code.
            if (hide && (last == hidden || actual != last)) {
                symbol = hidden;
            }
            putParsed(current);
            if (m_next >= kMaxCode) {
                put(m_clear);
                m_width = m_minCodeSize + 1;
                reset();
            } else {
                insert(current, symbol, m_next++);
            }
            current = symbol;
            last = symbol;
        }
        if (current >= 0) {
            putParsed(current);
        }
        put(m_clear + 1);  // end of information
        if (m_bits > 0) {
            *m_at++ = uint8_t(m_pending);
        }
        const size_t length = size_t(m_at - m_codes.data());
        out.clear();
        out.reserve(length + length / 255 + 3);
        out.push_back(uint8_t(m_minCodeSize));
        for (size_t at = 0; at < length; at += 255) {
            const size_t block = std::min<size_t>(255, length - at);
            out.push_back(uint8_t(block));
            out.insert(out.end(), m_codes.begin() + std::ptrdiff_t(at),
                       m_codes.begin() + std::ptrdiff_t(at + block));
        }
        out.push_back(0);
    }

private:
    static constexpr int kMaxCode = 4095;
    static constexpr size_t kSlots = 8192;
    // An entry holds its key (prefix << 8 | symbol, 20 bits) above its code
    // (12 bits); no key has prefix 4095, so all ones is free to mean empty.
    static constexpr uint32_t kEmpty = 0xffffffffu;

    void reset() {
        std::fill(m_table.begin(), m_table.end(), kEmpty);
        m_next = m_firstCode;
    }
    static size_t slotOf(uint32_t key) { return (key * 2654435761u) >> 19 & (kSlots - 1); }
    int find(int prefix, uint8_t symbol) const {
        const uint32_t key = uint32_t(prefix) << 8 | symbol;
        for (size_t slot = slotOf(key);; slot = (slot + 1) & (kSlots - 1)) {
            const uint32_t entry = m_table[slot];
            if (entry >> 12 == key) {
                return int(entry & 0xfff);
            }
            if (entry == kEmpty) {
                return -1;
            }
        }
    }
    void insert(int prefix, uint8_t symbol, int code) {
        const uint32_t key = uint32_t(prefix) << 8 | symbol;
        size_t slot = slotOf(key);
        while (m_table[slot] != kEmpty) {
            slot = (slot + 1) & (kSlots - 1);
        }
        m_table[slot] = key << 12 | uint32_t(code);
    }
    // Appends a code of the current width, lowest bit first.
    void put(int code) {
        m_pending |= uint64_t(code) << m_bits;
        m_bits += m_width;
        while (m_bits >= 8) {
            *m_at++ = uint8_t(m_pending);
            m_pending >>= 8;
            m_bits -= 8;
        }
    }
    // Puts a code of the parse; the width grows once the next code to be
    // made no longer fits, as the reader's table does one code later.
    void putParsed(int code) {
        put(code);
        if (m_next >= (1 << m_width) && m_width < 12) {
            ++m_width;
        }
    }

    const int m_minCodeSize;
    const int m_clear;
    const int m_firstCode;
    std::vector<uint32_t> m_table;
    std::vector<uint8_t> m_codes;
    uint8_t* m_at = nullptr;
    uint64_t m_pending = 0;
    int m_bits = 0;
    int m_width = 0;
    int m_next = 0;
};

// A frame ready to compress: its rectangle's pixels and, after the first
// frame, which of them equal the frame before.
struct FrameJob {
    Rect rect;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> unchanged;
    int transparent = -1;
    int delay = 0;
    std::vector<uint8_t> data;  // the compressed image data
    bool done = false;
};

// Compresses frames on worker threads while the caller prepares the next
// ones; the caller takes them back in the order it gave them.
class CompressPool {
public:
    CompressPool(int bitsPerPixel, int workers) {
        for (int i = 0; i < workers; ++i) {
            m_workers.emplace_back([this, bitsPerPixel] { work(bitsPerPixel); });
        }
    }
    ~CompressPool() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
    }
    CompressPool(const CompressPool&) = delete;
    CompressPool& operator=(const CompressPool&) = delete;

    void submit(std::unique_ptr<FrameJob> job) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(job.get());
            m_jobs.push_back(std::move(job));
        }
        m_changed.notify_all();
    }
    size_t inFlight() const {
        std::lock_guard lock(m_mutex);
        return m_jobs.size();
    }
    bool oldestDone() const {
        std::lock_guard lock(m_mutex);
        return !m_jobs.empty() && m_jobs.front()->done;
    }
    // The oldest job, waiting until it is compressed; null when none is left.
    std::unique_ptr<FrameJob> takeOldest() {
        std::unique_lock lock(m_mutex);
        if (m_jobs.empty()) {
            return nullptr;
        }
        m_changed.wait(lock, [this] { return m_jobs.front()->done; });
        std::unique_ptr<FrameJob> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        return job;
    }

private:
    void work(int bitsPerPixel) {
        FrameCompressor compressor(bitsPerPixel);
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) {
                return;
            }
            FrameJob* job = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            compressor.compress(job->pixels.data(),
                                job->unchanged.empty() ? nullptr : job->unchanged.data(),
                                job->pixels.size(), job->transparent, job->data);
            lock.lock();
            job->done = true;
            m_changed.notify_all();
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<FrameJob>> m_jobs;  // submitted, not yet taken
    std::deque<FrameJob*> m_queue;                 // submitted, not yet started
    bool m_stop = false;
    std::vector<std::thread> m_workers;
};

// Writes the blocks of a GIF89a file in order; any failed write makes
// close() report failure.
class Writer {
public:
    explicit Writer(const QString& path)
        : m_file(std::fopen(QFile::encodeName(path).constData(), "wb")) {}
    ~Writer() {
        if (m_file) {
            std::fclose(m_file);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool isOpen() const { return m_file != nullptr; }

    // The header, the global colour table of `tableEntries` (a power of two,
    // 4 to 256) and an application extension that loops forever.
    bool writeHeader(int width, int height, const Palette& palette, int tableEntries) {
        std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
        putWord(out, width);
        putWord(out, height);
        const int sizeBits = std::max(1, int(std::bit_width(unsigned(tableEntries))) - 2);
        // A global table, 8 bits of colour resolution, not sorted.
        out.push_back(uint8_t(0x80 | 0x70 | sizeBits));
        out.push_back(0);  // background colour
        out.push_back(0);  // square pixels
        for (int i = 0; i < tableEntries; ++i) {
            const GIFQuantizer::RGB c =
                size_t(i) < palette.size() ? palette[size_t(i)] : GIFQuantizer::RGB{};
            out.insert(out.end(), {c.r, c.g, c.b});
        }
        // NETSCAPE2.0 application extension: loop count 0 repeats forever.
        static const uint8_t kLoop[] = {0x21, 0xff, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                        'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
        out.insert(out.end(), std::begin(kLoop), std::end(kLoop));
        return write(out);
    }

    // A graphic control extension (kept pixels: each frame is drawn over the
    // one before), an image descriptor without a local table, and the data.
    bool writeFrame(const FrameJob& job) {
        std::vector<uint8_t> out{0x21, 0xf9, 4};
        out.push_back(uint8_t(1 << 2 | (job.transparent >= 0 ? 1 : 0)));
        putWord(out, job.delay);
        out.push_back(uint8_t(std::max(0, job.transparent)));
        out.push_back(0);
        out.push_back(0x2c);
        putWord(out, job.rect.x);
        putWord(out, job.rect.y);
        putWord(out, job.rect.w);
        putWord(out, job.rect.h);
        out.push_back(0);
        return write(out) && write(job.data);
    }

    // Writes the trailer and closes the file; false when any write failed.
    bool close() {
        write(std::vector<uint8_t>{0x3b});
        const bool ok = std::fclose(m_file) == 0 && m_ok;
        m_file = nullptr;
        return ok;
    }

private:
    static void putWord(std::vector<uint8_t>& out, int value) {
        out.push_back(uint8_t(value & 0xff));
        out.push_back(uint8_t(value >> 8 & 0xff));
    }
    bool write(const std::vector<uint8_t>& bytes) {
        if (m_ok && !bytes.empty()) {
            m_ok = std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
        }
        return m_ok;
    }

    std::FILE* m_file = nullptr;
    bool m_ok = true;
};
// Copies `frame` onto a width x height canvas at the top-left, the rest
// filled with `fill`, when its size differs from the canvas.
const IndexedFrame& fitted(const IndexedFrame& frame, int width, int height, uint8_t fill,
                           IndexedFrame& storage) {
    if (frame.width == width && frame.height == height) {
        return frame;
    }
    storage.width = width;
    storage.height = height;
    storage.indices.assign(size_t(width) * size_t(height), fill);
    const int w = std::min(width, std::max(0, frame.width));
    const int h = std::min(height, std::max(0, frame.height));
    for (int y = 0; y < h; ++y) {
        std::memcpy(storage.indices.data() + size_t(y) * size_t(width),
                    frame.indices.data() + size_t(y) * size_t(frame.width), size_t(w));
    }
    return storage;
}

// `frame` (on the canvas) with the pixels that `source` marks still given
// the previous output's indices. Copies into `storage` unless `frame` is it.
const IndexedFrame& withStillKept(const IndexedFrame& frame, const IndexedFrame& source,
                                  const std::vector<uint8_t>& previous, IndexedFrame& storage) {
    if (&frame != &storage) {
        storage.width = frame.width;
        storage.height = frame.height;
        storage.indices = frame.indices;
    }
    if (source.still.size() != size_t(source.width) * size_t(source.height) ||
        previous.size() != storage.indices.size()) {
        return storage;
    }
    const int w = std::min(storage.width, source.width);
    const int h = std::min(storage.height, source.height);
    for (int y = 0; y < h; ++y) {
        const uint8_t* still = source.still.data() + size_t(y) * size_t(source.width);
        const size_t row = size_t(y) * size_t(storage.width);
        uint8_t* __restrict out = storage.indices.data() + row;
        const uint8_t* __restrict before = previous.data() + row;
        const uint8_t* __restrict marks = still;
        // Marks are 0 or 1: a blend the compiler turns into vector code.
        for (int x = 0; x < w; ++x) {
            const uint8_t keep = uint8_t(-marks[x]);
            out[x] = uint8_t((before[x] & keep) | (out[x] & ~keep));
        }
    }
    return storage;
}

}  // namespace

ExportStatus encodeStream(const Palette& palette, int frameCount,
                          const std::function<const IndexedFrame*(int)>& frameAt,
                          const std::vector<double>& delays, const QString& destination,
                          const CancelFlag& cancel, const ProgressFn& progress) {
    if (frameCount <= 0 || size_t(frameCount) != delays.size() || palette.empty() ||
        palette.size() > 256) {
        return ExportError::of(Kind::noFrames);
    }
    AtomicFile file(destination);
    if (!file.isOpen()) {
        return ExportError::of(Kind::gifCreateFailed);
    }
    Writer writer(file.tempPath());
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
    const int tableEntries =
        int(std::bit_ceil(unsigned(std::max(4, colors + (colors < 256 ? 1 : 0)))));
    if (!writer.writeHeader(width, height, palette, tableEntries)) {
        return ExportError::of(Kind::gifWriteFailed);
    }

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

    // Frames are prepared here in order (each depends on the output before
    // it), compressed on every core, and written here in order.
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const size_t maxInFlight = size_t(2 * cores + 2);
    CompressPool pool(int(std::bit_width(unsigned(tableEntries))) - 1, cores);
    int written = 0;
    // Jobs written are used again, so their buffers are not allocated anew.
    std::vector<std::unique_ptr<FrameJob>> spare;
    // False once a write has failed (the disk is full): nothing after it can help.
    const auto writeOldest = [&] {
        std::unique_ptr<FrameJob> job = pool.takeOldest();
        const bool ok = writer.writeFrame(*job);
        spare.push_back(std::move(job));
        ++written;
        if (progress) {
            progress(written, frameCount);
        }
        return ok;
    };

    const std::vector<int> hundredths = delaysInHundredths(delays);
    IndexedFrame currentStorage;
    std::vector<uint8_t> previous;
    for (int i = 0; i < frameCount; ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        const IndexedFrame* source = i == 0 ? first : frameAt(i);
        if (source == nullptr) {
            return ExportError::cancelled();
        }
        const IndexedFrame* frame = &fitted(*source, width, height, white, currentStorage);
        if (i > 0 && !source->still.empty()) {
            frame = &withStillKept(*frame, *source, previous, currentStorage);
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
        if (i == 0) {
            job->rect = {0, 0, width, height};
            job->pixels.assign(cur, cur + size_t(width) * size_t(height));
        } else {
            Rect rect = changedRect(previous.data(), cur, width, height);
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
        if (frame == &currentStorage) {
            previous.swap(currentStorage.indices);
        } else {
            previous.assign(cur, cur + size_t(width) * size_t(height));
        }
        pool.submit(std::move(job));
        while (pool.inFlight() >= maxInFlight || pool.oldestDone()) {
            if (!writeOldest()) {
                return ExportError::of(Kind::gifWriteFailed);
            }
        }
    }
    while (pool.inFlight() > 0) {
        if (!writeOldest()) {
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

ExportStatus encodeIndexed(const Palette& palette, const std::vector<IndexedFrame>& frames,
                           const std::vector<double>& delays, const QString& destination,
                           const CancelFlag& cancel, const ProgressFn& progress) {
    return encodeStream(
        palette, int(frames.size()),
        [&frames](int i) -> const IndexedFrame* { return &frames[size_t(i)]; }, delays, destination,
        cancel, progress);
}

ExportStatus encode(const std::vector<Image>& images, const std::vector<double>& delays,
                    const QString& destination, const CancelFlag& cancel) {
    if (images.empty() || images.size() != delays.size()) {
        return ExportError::of(Kind::noFrames);
    }
    // Exact colours when the whole animation has at most 256 of them.
    Palette palette;
    std::unordered_map<uint32_t, uint8_t> indexOf;
    bool exact = true;
    for (const Image& image : images) {
        const std::vector<uint8_t> bytes = GIFQuantizer::rgbaBytes(image);
        for (size_t p = 0; exact && p < bytes.size(); p += 4) {
            const uint32_t key =
                uint32_t(bytes[p]) << 16 | uint32_t(bytes[p + 1]) << 8 | bytes[p + 2];
            if (indexOf.count(key) == 0) {
                if (palette.size() == 256) {
                    exact = false;
                    break;
                }
                indexOf.emplace(key, uint8_t(palette.size()));
                palette.push_back({bytes[p], bytes[p + 1], bytes[p + 2]});
            }
        }
        if (!exact) {
            break;
        }
    }
    if (palette.empty()) {
        palette = {{0, 0, 0}, {255, 255, 255}};
    }

    std::vector<IndexedFrame> frames(images.size());
    GIFQuantizer::Lookup lookup;
    if (!exact) {
        palette = GIFQuantizer::buildPalette(images, 256);
        lookup = GIFQuantizer::buildLookup(palette);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        if (exact) {
            const std::vector<uint8_t> bytes = GIFQuantizer::rgbaBytes(images[i]);
            frames[i].width = images[i].isNull() ? 0 : images[i].width();
            frames[i].height = images[i].isNull() ? 0 : images[i].height();
            frames[i].indices.resize(bytes.size() / 4);
            for (size_t p = 0; p < frames[i].indices.size(); ++p) {
                const uint8_t* c = bytes.data() + p * 4;
                frames[i].indices[p] = indexOf[uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]];
            }
        } else {
            std::optional<IndexedFrame> q =
                GIFQuantizer::quantizeToIndices(images[i], palette, lookup, 0.0f, cancel);
            if (!q) {
                return ExportError::cancelled();
            }
            frames[i] = std::move(*q);
        }
    }
    return encodeIndexed(palette, frames, delays, destination, cancel);
}

}  // namespace GIFEncoder
}  // namespace mirelo
