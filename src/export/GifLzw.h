#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirelo::gif {

// How one frame's pixels are turned into LZW codes.
struct LzwChoice {
    int minCodeSize = 8;  // 2..8; every index written must be below 1 << minCodeSize
    // Whether unchanged pixels may be written as the transparent index.
    bool hide = true;
    // What happens once the code table is full: start a new table at once,
    // or keep the full one and start anew only when its codes stop paying
    // (measured over the pixels since).
    bool clearWhenFull = true;
    // Lossy matching: when set, a 256 x 256 table whose entry [a * 256 + b]
    // says that colour b may stand for colour a. A changed pixel may then
    // take any symbol but the transparent index that extends the current
    // match and is near enough; unchanged pixels are written as before.
    const uint8_t* near = nullptr;
    // With lossy matching, one entry per pixel: nonzero where the pixel may
    // be written as a near colour. Null: every changed pixel may.
    const uint8_t* mayDeviate = nullptr;
};

// Compresses a frame's pixels to GIF image data: the minimum code size, then
// the LZW codes (greedy parse, codes of at most 12 bits) in sub-blocks of up
// to 255 bytes, then the terminator. With `hide`, it picks for every
// unchanged pixel whether to write it as it is or as the transparent index:
// both show the same, so the choice only matters to the compressor. It takes
// whichever symbol extends the current match; when neither does, it repeats
// the symbol just written, so runs grow. One instance per thread; each call
// starts afresh.
class LzwCompressor {
public:
    LzwCompressor();

    // `unchanged` marks the pixels that equal the frame before (or is null);
    // `transparent` is the index that shows the frame before, or negative.
    // Returns whether the code table ever filled up (when it did not, the
    // choice of clearWhenFull made no difference).
    bool compress(const uint8_t* pixels, const uint8_t* unchanged, size_t count, int transparent,
                  const LzwChoice& choice, std::vector<uint8_t>& out);

private:
    static constexpr int kMaxCode = 4095;
    static constexpr size_t kSlots = 8192;
    // An entry holds its key (prefix << 8 | symbol, 20 bits) above its code
    // (12 bits); no key has prefix 4095, so all ones is free to mean empty.
    static constexpr uint32_t kEmpty = 0xffffffffu;

    void reset();
    static size_t slotOf(uint32_t key) { return (key * 2654435761u) >> 19 & (kSlots - 1); }
    int find(int prefix, uint8_t symbol) const;
    void insert(int prefix, uint8_t symbol, int code);
    void put(int code);
    void putParsed(int code);
    size_t bitsWritten() const { return size_t(m_at - m_codes.data()) * 8 + size_t(m_bits); }

    void link(int prefix, uint8_t symbol, int code);

    // With lossy matching, each code's children: first child, next sibling,
    // and the symbol that made it.
    std::vector<int16_t> m_firstChild;
    std::vector<int16_t> m_nextSibling;
    std::vector<uint8_t> m_symbolOf;
    bool m_lossy = false;
    int m_clear = 0;
    int m_firstCode = 0;
    int m_minCodeSize = 8;
    std::vector<uint32_t> m_table;
    std::vector<uint8_t> m_codes;
    uint8_t* m_at = nullptr;
    uint64_t m_pending = 0;
    int m_bits = 0;
    int m_width = 0;
    int m_next = 0;
};

}  // namespace mirelo::gif

namespace mirelo::gif {

// Reads GIF image data as the compressor writes it (the minimum code size,
// sub-blocks, the terminator) back into `count` indices. False when the data
// is not well formed or holds fewer pixels; pixels past `count` are ignored.
bool decompress(const std::vector<uint8_t>& data, size_t count, std::vector<uint8_t>& out);

}  // namespace mirelo::gif
