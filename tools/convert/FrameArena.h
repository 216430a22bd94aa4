#pragma once

#include "image/Image.h"

#include <QImageReader>

#include <cstddef>
#include <mutex>
#include <vector>

namespace mirelo::convert {

// Memory for decoded frames, taken from a few large mappings backed by huge
// pages where the system allows it. A recording of a hundred full-screen
// frames touches hundreds of megabytes; faulting them in 4 KiB at a time is
// a large share of the conversion on a virtual machine. Frames read through
// the arena live as long as the arena.
class FrameArena {
public:
    FrameArena() = default;
    ~FrameArena();
    FrameArena(const FrameArena&) = delete;
    FrameArena& operator=(const FrameArena&) = delete;

    // Reads the reader's image into arena memory when it decodes to 32-bit
    // RGB or ARGB, otherwise into ordinary memory. Null on failure (the
    // reader's errorString() says why).
    Image read(QImageReader& reader);

private:
    uchar* allocate(size_t bytes);

    std::mutex m_mutex;
    std::vector<std::pair<void*, size_t>> m_mappings;
    uchar* m_free = nullptr;
    size_t m_left = 0;
};

}  // namespace mirelo::convert
