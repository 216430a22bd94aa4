#pragma once

#include "image/Image.h"

#include <QImageReader>

#include <memory>

namespace mirelo::convert {

// Memory for decoded frames, taken from a few large mappings backed by huge
// pages where the system allows it. A recording of a hundred full-screen
// frames touches hundreds of megabytes; faulting them in 4 KiB at a time is
// a large share of the conversion on a virtual machine. When a frame read
// through the arena is let go, its memory goes back to the arena and the
// next frame of the same size reuses it, so frames that are decoded, encoded
// and dropped one after another touch fresh memory only for the first few.
// The memory stays mapped until the arena and every frame read through it
// are gone.
class FrameArena {
public:
    FrameArena();
    ~FrameArena();
    FrameArena(const FrameArena&) = delete;
    FrameArena& operator=(const FrameArena&) = delete;

    // Reads the reader's image into arena memory when it decodes to 32-bit
    // RGB or ARGB, otherwise into ordinary memory. A plain 8-bit RGB or RGBA
    // PNG file is decoded by PlainPNG, much faster, without the reader. Null on failure (the
    // reader's errorString() says why). Any thread.
    Image read(QImageReader& reader);

    // Bytes of arena memory ever handed out (reused memory counts once).
    size_t bytesTouched() const;

private:
    struct Pool;
    std::shared_ptr<Pool> m_pool;
};

}  // namespace mirelo::convert
