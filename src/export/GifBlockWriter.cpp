#include "export/GifBlockWriter.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <iterator>

namespace mirelo::gif {

namespace {
void putWord(std::vector<uint8_t>& out, int value) {
    out.push_back(uint8_t(value & 0xff));
    out.push_back(uint8_t(value >> 8 & 0xff));
}
}  // namespace

BlockWriter::BlockWriter(const QString& path)
    : m_file(std::fopen(QFile::encodeName(path).constData(), "wb")) {}

BlockWriter::~BlockWriter() {
    if (m_file) {
        std::fclose(m_file);
    }
}

bool BlockWriter::writeHeader(int width, int height, const GIFQuantizer::Palette& palette,
                              int tableEntries) {
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

bool BlockWriter::writeFrame(const Rect& rect, int delay, int transparent,
                             const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out{0x21, 0xf9, 4};
    out.push_back(uint8_t(1 << 2 | (transparent >= 0 ? 1 : 0)));
    putWord(out, delay);
    out.push_back(uint8_t(std::max(0, transparent)));
    out.push_back(0);
    out.push_back(0x2c);
    putWord(out, rect.x);
    putWord(out, rect.y);
    putWord(out, rect.w);
    putWord(out, rect.h);
    out.push_back(0);
    return write(out) && write(data);
}

bool BlockWriter::close() {
    write(std::vector<uint8_t>{0x3b});
    const bool ok = std::fclose(m_file) == 0 && m_ok;
    m_file = nullptr;
    return ok;
}

bool BlockWriter::write(const std::vector<uint8_t>& bytes) {
    if (m_ok && !bytes.empty()) {
        m_ok = std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
    }
    return m_ok;
}

}  // namespace mirelo::gif
