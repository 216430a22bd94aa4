#include "convert/PlainPNG.h"

#include <QImageReader>
#include <QRgb>
#include <QtEndian>

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>

namespace mirelo::convert::PlainPNG {

namespace {

uint32_t bigEndian(const uchar* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Undoes a row's PNG filter in place, given the row above (unfiltered; all
// zeros above the first row). `bpp` bytes per pixel.
bool unfilter(uchar filter, uchar* row, const uchar* above, size_t length, size_t bpp) {
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (size_t i = bpp; i < length; ++i) {
                row[i] = uchar(row[i] + row[i - bpp]);
            }
            return true;
        case 2:
            for (size_t i = 0; i < length; ++i) {
                row[i] = uchar(row[i] + above[i]);
            }
            return true;
        case 3:
            for (size_t i = 0; i < bpp; ++i) {
                row[i] = uchar(row[i] + (above[i] >> 1));
            }
            for (size_t i = bpp; i < length; ++i) {
                row[i] = uchar(row[i] + ((unsigned(row[i - bpp]) + above[i]) >> 1));
            }
            return true;
        case 4:
            for (size_t i = 0; i < bpp; ++i) {
                row[i] = uchar(row[i] + above[i]);
            }
            for (size_t i = bpp; i < length; ++i) {
                const int a = row[i - bpp], b = above[i], c = above[i - bpp];
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                row[i] = uchar(row[i] + predictor);
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

void Decoder::Free::operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
}

bool Decoder::parse(const uchar* file, size_t size) {
    m_ready = parseChunks(file, size);
    return m_ready;
}

bool Decoder::parseChunks(const uchar* bytes, size_t size) {
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0) {
        return false;
    }
    m_compressed.clear();
    bool header = false, inData = false, dataDone = false;
    for (size_t at = 8;;) {
        if (at + 12 > size) {
            return false;  // no IEND
        }
        const size_t length = bigEndian(bytes + at);
        if (length > size - at - 12) {
            return false;
        }
        const uchar* type = bytes + at + 4;
        const uchar* data = type + 4;
        const auto is = [type](const char* name) { return std::memcmp(type, name, 4) == 0; };
        const bool critical = (type[0] & 0x20) == 0;
        if (critical && libdeflate_crc32(0, type, length + 4) != bigEndian(data + length)) {
            return false;
        }
        if (!header) {
            // IHDR first: width, height, depth 8, RGB (2) or RGBA (6),
            // deflate, standard filters, no interlacing.
            if (!is("IHDR") || length != 13 || data[8] != 8 || (data[9] != 2 && data[9] != 6) ||
                data[10] != 0 || data[11] != 0 || data[12] != 0) {
                return false;
            }
            const uint32_t width = bigEndian(data), height = bigEndian(data + 4);
            // Within what Qt's reader would allocate.
            const double bytes = double(width) * double(height) * 4.0;
            const int limitMB = QImageReader::allocationLimit();
            if (width == 0 || height == 0 || width > 65535 || height > 65535 ||
                (limitMB > 0 && bytes > double(limitMB) * 1024 * 1024)) {
                return false;
            }
            m_width = int(width);
            m_height = int(height);
            m_alpha = data[9] == 6;
            header = true;
        } else if (is("IDAT")) {
            if (dataDone) {
                return false;  // IDAT chunks must follow each other
            }
            inData = true;
            m_compressed.insert(m_compressed.end(), data, data + length);
        } else if (is("IEND")) {
            return inData;
        } else if (is("tRNS") || is("eXIf") || is("IHDR") || (critical && !is("PLTE"))) {
            return false;
        } else {
            dataDone = inData;
        }
        at += 12 + length;
    }
}

bool Decoder::decode(uchar* out) {
    if (!m_ready) {
        return false;
    }
    if (!m_decompressor) {
        m_decompressor.reset(libdeflate_alloc_decompressor());
    }
    if (!m_decompressor) {
        return false;
    }
    const size_t bpp = m_alpha ? 4 : 3;
    const size_t stride = size_t(m_width) * bpp;
    const size_t rawSize = (stride + 1) * size_t(m_height);
    m_raw.resize(rawSize + 1);  // one byte of slack, see below
    size_t inflated = 0;
    if (libdeflate_zlib_decompress(m_decompressor.get(), m_compressed.data(), m_compressed.size(),
                                   m_raw.data(), rawSize, &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != rawSize) {
        return false;
    }
    std::vector<uchar> zeros(stride, 0);
    const uchar* above = zeros.data();
    for (int y = 0; y < m_height; ++y) {
        uchar* row = m_raw.data() + size_t(y) * (stride + 1);
        if (!unfilter(row[0], row + 1, above, stride, bpp)) {
            return false;
        }
        above = row + 1;
        const uchar* in = row + 1;
        uchar* dst = out + size_t(y) * size_t(m_width) * 4;
        if (!m_alpha) {
            // Four bytes at a time: R, G, B and a byte of the next pixel (or
            // of the slack past the buffer's end), that becomes A = 255.
            const uint32_t opaque = qToLittleEndian(uint32_t(0xff000000u));
            const uint32_t rgb = qToLittleEndian(uint32_t(0x00ffffffu));
            for (int x = 0; x < m_width; ++x) {
                uint32_t word;
                std::memcpy(&word, in + size_t(x) * 3, 4);
                word = (word & rgb) | opaque;
                std::memcpy(dst + size_t(x) * 4, &word, 4);
            }
            continue;
        }
        for (int x = 0; x < m_width; ++x) {
            const uchar* p = in + size_t(x) * 4;
            if (p[3] == 255) {
                std::memcpy(dst + size_t(x) * 4, p, 4);
                continue;
            }
            // The same rounding as the general path's premultiplication.
            const QRgb argb = qPremultiply(qRgba(p[0], p[1], p[2], p[3]));
            dst[x * 4] = uchar(qRed(argb));
            dst[x * 4 + 1] = uchar(qGreen(argb));
            dst[x * 4 + 2] = uchar(qBlue(argb));
            dst[x * 4 + 3] = uchar(qAlpha(argb));
        }
    }
    return true;
}

}  // namespace mirelo::convert::PlainPNG
