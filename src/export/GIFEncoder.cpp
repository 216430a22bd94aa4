#include "export/GIFEncoder.h"

#include "export/AtomicFile.h"

#include <QFile>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
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

// Picks, for every unchanged pixel of a frame's rectangle, whether to write
// it as it is or as the transparent index: both show the same, so the choice
// only matters to the compressor. Runs the same greedy LZW parse as the GIF
// writer (codes of 12 bits at most, the table cleared when full) and takes
// whichever symbol extends the current match; when neither does, it repeats
// the symbol just written, so runs grow.
class SymbolChooser {
public:
    explicit SymbolChooser(int bitsPerPixel)
        : m_firstCode((1 << std::max(2, bitsPerPixel)) + 2),
          m_keys(kSlots, kEmpty),
          m_codes(kSlots, 0) {}

    // `pixels` holds the frame's values; `unchanged` marks the pixels that
    // equal the frame before.
    void choose(uint8_t* pixels, const uint8_t* unchanged, size_t count, uint8_t transparent) {
        reset();
        int current = -1;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t actual = pixels[i];
            if (current < 0) {
                if (unchanged[i]) {
                    pixels[i] = transparent;
                }
                current = pixels[i];
                continue;
            }
            int code = find(current, actual);
            if (unchanged[i]) {
                const int viaTransparent = find(current, transparent);
                if (viaTransparent >= 0) {
                    code = viaTransparent;
                    pixels[i] = transparent;
                }
            }
            if (code >= 0) {
                current = code;
                continue;
            }
            // No match: the writer emits `current` and starts over from this
            // symbol, remembering current + symbol as a new code.
            const uint8_t last = pixels[i - 1];
            if (unchanged[i] && (last == transparent || actual != last)) {
                pixels[i] = transparent;
            }
            if (m_next >= kMaxCode) {
                reset();
            } else {
                insert(current, pixels[i], m_next++);
            }
            current = pixels[i];
        }
    }

private:
    static constexpr int kMaxCode = 4095;
    static constexpr size_t kSlots = 8192;
    static constexpr uint32_t kEmpty = 0xffffffffu;

    void reset() {
        std::fill(m_keys.begin(), m_keys.end(), kEmpty);
        m_next = m_firstCode;
    }
    static size_t slotOf(uint32_t key) { return (key * 2654435761u) >> 19 & (kSlots - 1); }
    int find(int prefix, uint8_t symbol) const {
        const uint32_t key = uint32_t(prefix) << 8 | symbol;
        for (size_t slot = slotOf(key);; slot = (slot + 1) & (kSlots - 1)) {
            if (m_keys[slot] == key) {
                return m_codes[slot];
            }
            if (m_keys[slot] == kEmpty) {
                return -1;
            }
        }
    }
    void insert(int prefix, uint8_t symbol, int code) {
        const uint32_t key = uint32_t(prefix) << 8 | symbol;
        size_t slot = slotOf(key);
        while (m_keys[slot] != kEmpty) {
            slot = (slot + 1) & (kSlots - 1);
        }
        m_keys[slot] = key;
        m_codes[slot] = uint16_t(code);
    }

    const int m_firstCode;
    std::vector<uint32_t> m_keys;
    std::vector<uint16_t> m_codes;
    int m_next = 0;
};

class Writer {
public:
    explicit Writer(const QString& path) {
        int error = 0;
        m_gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
        if (m_gif) {
            // Without this giflib labels the file GIF87a although it carries
            // GIF89a extensions.
            EGifSetGifVersion(m_gif, true);
        }
    }
    ~Writer() {
        if (m_gif) {
            int error = 0;
            EGifCloseFile(m_gif, &error);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool isOpen() const { return m_gif != nullptr; }

    bool writeHeader(int width, int height, const Palette& palette, int tableEntries) {
        ColorMapObject* map = GifMakeMapObject(tableEntries, nullptr);
        if (!map) {
            return false;
        }
        for (int i = 0; i < tableEntries; ++i) {
            const GIFQuantizer::RGB c =
                size_t(i) < palette.size() ? palette[size_t(i)] : GIFQuantizer::RGB{};
            map->Colors[i] = GifColorType{c.r, c.g, c.b};
        }
        const bool ok = EGifPutScreenDesc(m_gif, width, height, 8, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        if (!ok) {
            return false;
        }
        // NETSCAPE2.0 application extension: loop count 0 repeats forever.
        static const GifByteType kApp[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        static const GifByteType kLoop[] = {1, 0, 0};
        return EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
               EGifPutExtensionBlock(m_gif, sizeof kApp, kApp) == GIF_OK &&
               EGifPutExtensionBlock(m_gif, sizeof kLoop, kLoop) == GIF_OK &&
               EGifPutExtensionTrailer(m_gif) == GIF_OK;
    }

    bool writeFrame(const Rect& rect, std::vector<uint8_t>& pixels, int delay, int transparent) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.UserInputFlag = false;
        gcb.DelayTime = delay;
        gcb.TransparentColor = transparent;
        GifByteType extension[4];
        EGifGCBToExtension(&gcb, extension);
        return EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
               EGifPutImageDesc(m_gif, rect.x, rect.y, rect.w, rect.h, false, nullptr) == GIF_OK &&
               EGifPutLine(m_gif, pixels.data(), rect.w * rect.h) == GIF_OK;
    }

    // Writes the trailer and closes the file; false when any write failed.
    bool close() {
        int error = 0;
        const bool ok = EGifCloseFile(m_gif, &error) == GIF_OK;
        m_gif = nullptr;
        return ok;
    }

private:
    GifFileType* m_gif = nullptr;
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
    const int spareIndex = colors < 256 ? colors : NO_TRANSPARENT_COLOR;
    const int tableEntries = 1 << GifBitSize(std::max(2, colors + (colors < 256 ? 1 : 0)));
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

    const std::vector<int> hundredths = delaysInHundredths(delays);
    IndexedFrame previousStorage, currentStorage;
    std::vector<uint8_t> previous;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> unchanged;
    SymbolChooser chooser(GifBitSize(tableEntries));
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

        Rect rect{0, 0, width, height};
        int frameTransparent = NO_TRANSPARENT_COLOR;
        if (i == 0) {
            pixels.assign(cur, cur + size_t(width) * size_t(height));
        } else {
            rect = changedRect(previous.data(), cur, width, height);
            if (rect.isEmpty()) {
                // Nothing changed: one pixel, as it already is.
                rect = {0, 0, 1, 1};
            }
            pixels.resize(size_t(rect.w) * size_t(rect.h));
            unchanged.resize(pixels.size());
            for (int y = 0; y < rect.h; ++y) {
                const size_t offset = size_t(rect.y + y) * size_t(width) + size_t(rect.x);
                uint8_t* out = pixels.data() + size_t(y) * size_t(rect.w);
                uint8_t* same = unchanged.data() + size_t(y) * size_t(rect.w);
                const uint8_t* before = previous.data() + offset;
                std::memcpy(out, cur + offset, size_t(rect.w));
                for (int x = 0; x < rect.w; ++x) {
                    same[x] = out[x] == before[x];
                }
            }
            frameTransparent = spareIndex;
            if (frameTransparent == NO_TRANSPARENT_COLOR) {
                std::array<bool, 256> used{};
                for (size_t p = 0; p < pixels.size(); ++p) {
                    used[pixels[p]] = used[pixels[p]] || !unchanged[p];
                }
                const auto unused = std::find(used.begin(), used.end(), false);
                if (unused != used.end()) {
                    frameTransparent = int(unused - used.begin());
                }
            }
            if (frameTransparent != NO_TRANSPARENT_COLOR) {
                chooser.choose(pixels.data(), unchanged.data(), pixels.size(),
                               uint8_t(frameTransparent));
            }
        }
        if (!writer.writeFrame(rect, pixels, hundredths[size_t(i)], frameTransparent)) {
            return ExportError::of(Kind::gifWriteFailed);
        }
        previous.assign(cur, cur + size_t(width) * size_t(height));
        if (progress) {
            progress(i + 1, frameCount);
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
