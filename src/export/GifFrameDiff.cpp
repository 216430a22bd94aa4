#include "export/GifFrameDiff.h"

#include <algorithm>
#include <cstring>

namespace mirelo::gif {

using GIFQuantizer::IndexedFrame;

namespace {

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

}  // namespace

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

}  // namespace mirelo::gif
