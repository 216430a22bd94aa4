#pragma once

#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <vector>

struct libdeflate_decompressor;

// The common kind of PNG, decoded without Qt's reader: 8-bit RGB or RGBA,
// not interlaced, no transparent colour key, no orientation. The whole
// compressed stream is inflated at once, which is much faster than the
// general reader's streaming inflate. Any other PNG, or any fault (a bad
// checksum, a short or overlong stream, an unknown critical chunk, a size
// beyond Qt's allocation limit), is refused, for Qt's reader to decode or to
// say why not.
namespace mirelo::convert::PlainPNG {

// Keeps its buffers from file to file; one per thread.
class Decoder {
public:
    // Reads the chunks of a PNG file held in memory (only while parse runs);
    // false when this decoder does not take it.
    bool parse(const uchar* file, size_t size);
    // The size parse() found.
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Decodes what parse() took into width x height premultiplied R, G, B, A
    // bytes, rows of exactly width x 4 bytes. False on any fault.
    bool decode(uchar* out);

private:
    bool parseChunks(const uchar* file, size_t size);

    struct Free {
        void operator()(libdeflate_decompressor* d) const;
    };
    int m_width = 0;
    int m_height = 0;
    bool m_alpha = false;
    bool m_ready = false;             // whether the last parse() succeeded
    std::vector<uchar> m_compressed;  // the IDAT chunks' data, joined
    std::vector<uchar> m_raw;         // the inflated, filtered rows
    std::unique_ptr<libdeflate_decompressor, Free> m_decompressor;
};

}  // namespace mirelo::convert::PlainPNG
