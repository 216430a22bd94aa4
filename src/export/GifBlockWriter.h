#pragma once

#include "export/GIFQuantizer.h"
#include "export/GifFrameDiff.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace mirelo::gif {

// Writes the blocks of a GIF89a file in order; any failed write makes
// close() report failure.
class BlockWriter {
public:
    explicit BlockWriter(const QString& path);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    bool isOpen() const { return m_file != nullptr; }

    // The header, the global colour table of `tableEntries` (a power of two,
    // 4 to 256) and an application extension that loops forever (a single
    // frame keeps it too: the file says what it is whatever reads it).
    bool writeHeader(int width, int height, const GIFQuantizer::Palette& palette, int tableEntries);

    // A graphic control extension (kept pixels: each frame is drawn over the
    // one before; `transparent` negative for none), an image descriptor
    // without a local table, and the compressed image data.
    bool writeFrame(const Rect& rect, int delay, int transparent, const std::vector<uint8_t>& data);

    // Writes the trailer and closes the file; false when any write failed.
    bool close();

private:
    bool write(const std::vector<uint8_t>& bytes);

    std::FILE* m_file = nullptr;
    bool m_ok = true;
};

}  // namespace mirelo::gif
