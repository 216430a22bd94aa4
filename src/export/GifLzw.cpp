#include "export/GifLzw.h"

#include <algorithm>

namespace mirelo::gif {

namespace {
// With a full table kept, the pixels per measured stretch, and how much
// worse than the table's rate while it was filling a stretch may be before
// a new table is started.
constexpr size_t kWindow = 4096;
constexpr double kWorse = 1.15;
}  // namespace

LzwCompressor::LzwCompressor()
    : m_firstChild(4096, -1), m_nextSibling(4096, -1), m_symbolOf(4096), m_table(kSlots, kEmpty) {}

bool LzwCompressor::compress(const uint8_t* pixels, const uint8_t* unchanged, size_t count,
                             int transparent, const LzwChoice& choice, std::vector<uint8_t>& out) {
    m_minCodeSize = std::clamp(choice.minCodeSize, 2, 8);
    m_clear = 1 << m_minCodeSize;
    m_firstCode = m_clear + 2;
    // Codes are at most 12 bits per pixel, plus the clear and end codes.
    m_codes.resize(count * 2 + 16);
    m_at = m_codes.data();
    m_bits = 0;
    m_pending = 0;
    m_width = m_minCodeSize + 1;
    const bool hides = choice.hide && unchanged != nullptr && transparent >= 0;
    const uint8_t hidden = uint8_t(std::max(0, transparent));
    m_lossy = choice.near != nullptr;
    const uint8_t* near = choice.near;
    put(m_clear);
    reset();
    bool filled = false;
    // While a full table is kept: the rate (bits per pixel) the table had
    // when it filled, and where the current stretch began.
    double fillRate = 0;
    size_t tableStart = 0, tableStartBits = bitsWritten();
    size_t windowStart = 0, windowStartBits = 0;
    bool frozen = false;
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
            if (code < 0 && m_lossy && !hide &&
                (choice.mayDeviate == nullptr || choice.mayDeviate[i] != 0)) {
                // The first child that may stand for this pixel.
                const uint8_t* row = near + size_t(actual) * 256;
                for (int child = m_firstChild[size_t(current)]; child >= 0;
                     child = m_nextSibling[size_t(child)]) {
                    const uint8_t s = m_symbolOf[size_t(child)];
                    if (row[s] != 0 && !(hides && s == hidden)) {
                        code = child;
                        symbol = s;
                        break;
                    }
                }
            }
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
        if (frozen) {
            if (i - windowStart >= kWindow) {
                const double rate =
                    double(bitsWritten() - windowStartBits) / double(i - windowStart);
                windowStart = i;
                windowStartBits = bitsWritten();
                if (rate > fillRate * kWorse) {
                    put(m_clear);
                    m_width = m_minCodeSize + 1;
                    reset();
                    frozen = false;
                    tableStart = i;
                    tableStartBits = bitsWritten();
                }
            }
        } else if (m_next >= kMaxCode) {
            filled = true;
            if (choice.clearWhenFull) {
                put(m_clear);
                m_width = m_minCodeSize + 1;
                reset();
            } else {
                frozen = true;
                fillRate = double(bitsWritten() - tableStartBits) /
                           double(std::max<size_t>(1, i - tableStart));
                windowStart = i;
                windowStartBits = bitsWritten();
            }
        } else {
            insert(current, symbol, m_next);
            if (m_lossy) {
                link(current, symbol, m_next);
            }
            ++m_next;
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
    return filled;
}

void LzwCompressor::reset() {
    std::fill(m_table.begin(), m_table.end(), kEmpty);
    if (m_lossy) {
        std::fill(m_firstChild.begin(), m_firstChild.end(), int16_t(-1));
    }
    m_next = m_firstCode;
}

void LzwCompressor::link(int prefix, uint8_t symbol, int code) {
    m_symbolOf[size_t(code)] = symbol;
    m_nextSibling[size_t(code)] = m_firstChild[size_t(prefix)];
    m_firstChild[size_t(prefix)] = int16_t(code);
}

int LzwCompressor::find(int prefix, uint8_t symbol) const {
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

void LzwCompressor::insert(int prefix, uint8_t symbol, int code) {
    const uint32_t key = uint32_t(prefix) << 8 | symbol;
    size_t slot = slotOf(key);
    while (m_table[slot] != kEmpty) {
        slot = (slot + 1) & (kSlots - 1);
    }
    m_table[slot] = key << 12 | uint32_t(code);
}

// Appends a code of the current width, lowest bit first.
void LzwCompressor::put(int code) {
    m_pending |= uint64_t(code) << m_bits;
    m_bits += m_width;
    while (m_bits >= 8) {
        *m_at++ = uint8_t(m_pending);
        m_pending >>= 8;
        m_bits -= 8;
    }
}

// Puts a code of the parse; the width grows once the next code to be made
// no longer fits, as the reader's table does one code later.
void LzwCompressor::putParsed(int code) {
    put(code);
    if (m_next >= (1 << m_width) && m_width < 12) {
        ++m_width;
    }
}

}  // namespace mirelo::gif

namespace mirelo::gif {

bool decompress(const std::vector<uint8_t>& data, size_t count, std::vector<uint8_t>& out) {
    out.resize(count);
    if (data.empty()) {
        return count == 0;
    }
    const int minCodeSize = data[0];
    if (minCodeSize < 2 || minCodeSize > 8) {
        return false;
    }
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    // Each code's prefix code, its last symbol and its first symbol.
    std::vector<uint16_t> prefix(4096);
    std::vector<uint8_t> suffix(4096), firstOf(4096), stack(4097);
    for (int i = 0; i < clear; ++i) {
        suffix[size_t(i)] = uint8_t(i);
        firstOf[size_t(i)] = uint8_t(i);
    }
    int next = clear + 2;
    int width = minCodeSize + 1;
    int previous = -1;
    size_t written = 0;
    uint32_t bits = 0;
    int held = 0;
    size_t at = 1;
    size_t blockLeft = 0;
    while (true) {
        while (held < width) {
            if (blockLeft == 0) {
                if (at >= data.size() || data[at] == 0) {
                    return written >= count;
                }
                blockLeft = data[at++];
            }
            if (at >= data.size()) {
                return false;
            }
            bits |= uint32_t(data[at++]) << held;
            held += 8;
            --blockLeft;
        }
        const int code = int(bits & ((1u << width) - 1));
        bits >>= width;
        held -= width;
        if (code == clear) {
            next = clear + 2;
            width = minCodeSize + 1;
            previous = -1;
            continue;
        }
        if (code == end) {
            return written >= count;
        }
        if (code > next || (code == next && previous < 0)) {
            return false;
        }
        // The string of `code`, or for the code being defined the previous
        // string and its own first symbol.
        int c = code == next ? previous : code;
        size_t depth = 0;
        if (code == next) {
            stack[depth++] = firstOf[size_t(previous)];
        }
        while (c >= clear + 2) {
            stack[depth++] = suffix[size_t(c)];
            c = prefix[size_t(c)];
        }
        stack[depth++] = uint8_t(c);
        const uint8_t head = uint8_t(c);
        while (depth > 0) {
            const uint8_t symbol = stack[--depth];
            if (written < count) {
                out[written] = symbol;
            }
            ++written;
        }
        if (previous >= 0 && next < 4096) {
            prefix[size_t(next)] = uint16_t(previous);
            suffix[size_t(next)] = head;
            firstOf[size_t(next)] = firstOf[size_t(previous)];
            ++next;
            if (next == (1 << width) && width < 12) {
                ++width;
            }
        }
        previous = code;
    }
}

}  // namespace mirelo::gif
