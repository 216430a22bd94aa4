#include "convert/FrameArena.h"

#include "image/PixelLayout.h"

#include <QFile>
#include <QtEndian>

#include <libdeflate.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace mirelo::convert {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapping = size_t(512) << 20;  // address space only until touched

// 0xAARRGGBB words (bytes B, G, R, A) to premultiplied R, G, B, A bytes, row
// by row.
void toStandard(uchar* bits, int width, int height, bool opaque) {
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        uchar* row = bits + size_t(y) * rowBytes;
        uint32_t* words = reinterpret_cast<uint32_t*>(row);
        if (opaque) {
            PixelLayout::bgrxToStandard(words, row, width);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = qPremultiply(words[x]);
            const uchar standard[4] = {uchar(argb >> 16), uchar(argb >> 8), uchar(argb),
                                       uchar(argb >> 24)};
            std::memcpy(row + size_t(x) * 4, standard, 4);
        }
    }
}

// The common kind of PNG, decoded here rather than by Qt: 8-bit RGB or RGBA,
// not interlaced, no transparent colour key, no orientation. The whole
// compressed stream is inflated at once, which is much faster than the
// general reader's streaming inflate. Any other PNG, or any fault (a bad
// checksum, a short stream, an unknown critical chunk), is left to Qt's
// reader, which decodes it or says why not.
struct PlainPNG {
    int width = 0;
    int height = 0;
    bool alpha = false;
    std::vector<uchar> compressed;  // the IDAT chunks' data, joined
};

uint32_t bigEndian(const uchar* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Parses the file's chunks; on success `png` holds the header and the
// compressed stream. The memory of `png` is reused from call to call.
bool parsePlainPNG(const uchar* bytes, size_t size, PlainPNG& png) {
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0) {
        return false;
    }
    png.compressed.clear();
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
            png.width = int(width);
            png.height = int(height);
            png.alpha = data[9] == 6;
            header = true;
        } else if (is("IDAT")) {
            if (dataDone) {
                return false;  // IDAT chunks must follow each other
            }
            inData = true;
            png.compressed.insert(png.compressed.end(), data, data + length);
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

// Inflates and unfilters `png` into `out`: width x height premultiplied
// R, G, B, A bytes, rows of exactly width x 4 bytes. False on any fault.
bool decodePlainPNG(const PlainPNG& png, uchar* out) {
    struct Free {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    thread_local std::unique_ptr<libdeflate_decompressor, Free> decompressor(
        libdeflate_alloc_decompressor());
    thread_local std::vector<uchar> raw;
    if (!decompressor) {
        return false;
    }
    const size_t bpp = png.alpha ? 4 : 3;
    const size_t stride = size_t(png.width) * bpp;
    const size_t rawSize = (stride + 1) * size_t(png.height);
    raw.resize(rawSize + 1);  // one byte of slack, see below
    size_t inflated = 0;
    if (libdeflate_zlib_decompress(decompressor.get(), png.compressed.data(), png.compressed.size(),
                                   raw.data(), rawSize, &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != rawSize) {
        return false;
    }
    std::vector<uchar> zeros(stride, 0);
    const uchar* above = zeros.data();
    for (int y = 0; y < png.height; ++y) {
        uchar* row = raw.data() + size_t(y) * (stride + 1);
        if (!unfilter(row[0], row + 1, above, stride, bpp)) {
            return false;
        }
        above = row + 1;
        const uchar* in = row + 1;
        uchar* dst = out + size_t(y) * size_t(png.width) * 4;
        if (!png.alpha) {
            // Four bytes at a time: R, G, B and a byte of the next pixel (or
            // of the slack past the buffer's end), that becomes A = 255.
            const uint32_t opaque = qToLittleEndian(uint32_t(0xff000000u));
            const uint32_t rgb = qToLittleEndian(uint32_t(0x00ffffffu));
            for (int x = 0; x < png.width; ++x) {
                uint32_t word;
                std::memcpy(&word, in + size_t(x) * 3, 4);
                word = (word & rgb) | opaque;
                std::memcpy(dst + size_t(x) * 4, &word, 4);
            }
            continue;
        }
        for (int x = 0; x < png.width; ++x) {
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

}  // namespace

// The mappings and the blocks given back, shared by the arena and every
// frame whose pixels live in it.
struct FrameArena::Pool {
    ~Pool() {
        for (const auto& [address, size] : mappings) {
            munmap(address, size);
        }
    }

    uchar* allocate(size_t bytes) {
        std::lock_guard lock(mutex);
        for (auto it = spare.begin(); it != spare.end(); ++it) {
            if (it->second == bytes) {
                uchar* block = it->first;
                spare.erase(it);
                return block;
            }
        }
        if (bytes > left) {
            const size_t size = std::max(kMapping, bytes + kHugePage);
            void* address =
                mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (address == MAP_FAILED) {
                return nullptr;
            }
            mappings.emplace_back(address, size);
            // Start on a huge page boundary so whole huge pages can back it.
            const uintptr_t start =
                (reinterpret_cast<uintptr_t>(address) + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
            next = reinterpret_cast<uchar*>(start);
            left = size - (start - reinterpret_cast<uintptr_t>(address));
            madvise(next, left, MADV_HUGEPAGE);
        }
        uchar* block = next;
        next += bytes;
        left -= bytes;
        touched += bytes;
        return block;
    }

    void giveBack(uchar* block, size_t bytes) {
        std::lock_guard lock(mutex);
        spare.emplace_back(block, bytes);
    }

    // A frame's hold on its block; the block goes back when the frame's last
    // copy is gone.
    struct Lease {
        std::shared_ptr<Pool> pool;
        uchar* block;
        size_t bytes;
    };
    static void endLease(void* info) {
        auto* lease = static_cast<Lease*>(info);
        lease->pool->giveBack(lease->block, lease->bytes);
        delete lease;
    }

    std::mutex mutex;
    std::vector<std::pair<void*, size_t>> mappings;
    std::vector<std::pair<uchar*, size_t>> spare;  // blocks no frame uses, with their sizes
    uchar* next = nullptr;
    size_t left = 0;
    size_t touched = 0;
};

FrameArena::FrameArena() : m_pool(std::make_shared<Pool>()) {}

FrameArena::~FrameArena() = default;

size_t FrameArena::bytesTouched() const {
    std::lock_guard lock(m_pool->mutex);
    return m_pool->touched;
}

Image FrameArena::read(QImageReader& reader) {
    if (!reader.fileName().isEmpty()) {
        thread_local std::vector<uchar> fileBytes;
        thread_local PlainPNG png;
        QFile file(reader.fileName());
        const qint64 size = file.open(QIODevice::ReadOnly) ? file.size() : -1;
        bool parsed = false;
        if (size > 0 && size < (qint64(1) << 31)) {
            fileBytes.resize(size_t(size));
            parsed = file.read(reinterpret_cast<char*>(fileBytes.data()), size) == size &&
                     parsePlainPNG(fileBytes.data(), fileBytes.size(), png);
        }
        if (parsed) {
            const size_t bytes = (size_t(png.width) * size_t(png.height) * 4 + 63) & ~size_t(63);
            uchar* memory = m_pool->allocate(bytes);
            if (memory != nullptr) {
                if (decodePlainPNG(png, memory)) {
                    auto* lease = new Pool::Lease{m_pool, memory, bytes};
                    return Image::fromQImage(QImage(memory, png.width, png.height,
                                                    qsizetype(png.width) * 4, kStandardFormat,
                                                    Pool::endLease, lease));
                }
                m_pool->giveBack(memory, bytes);
            }
        }
    }
    const QSize size = reader.size();
    // Only a header that gave a size names a format: Qt's JPEG reader leaves
    // the format unset when the header is broken.
    const bool sized = size.isValid() && !size.isEmpty();
    const QImage::Format format = sized ? reader.imageFormat() : QImage::Format_Invalid;
    const bool rgb32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
    if (sized && rgb32 && reader.transformation() == QImageIOHandler::TransformationNone) {
        // Whole cache lines, so no two blocks share one.
        const size_t bytes = (size_t(size.width()) * size_t(size.height()) * 4 + 63) & ~size_t(63);
        uchar* memory = m_pool->allocate(bytes);
        if (memory != nullptr) {
            const qsizetype stride = qsizetype(size.width()) * 4;
            QImage target(memory, size.width(), size.height(), stride, format);
            const bool ok = reader.read(&target);
            // Qt decodes into an image of the right size and format in place.
            if (ok && target.constBits() == memory && target.format() == format) {
                toStandard(memory, size.width(), size.height(), format == QImage::Format_RGB32);
                auto* lease = new Pool::Lease{m_pool, memory, bytes};
                return Image::fromQImage(QImage(memory, size.width(), size.height(), stride,
                                                kStandardFormat, Pool::endLease, lease));
            }
            QImage result;
            if (ok) {
                result = target.convertToFormat(kStandardFormat);
                if (result.constBits() == memory) {
                    result = result.copy();
                }
            }
            target = QImage();  // nothing refers to the block any more
            m_pool->giveBack(memory, bytes);
            return Image::fromQImage(result);
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    // In place where Qt can (same depth), saving a copy per frame.
    image.convertTo(kStandardFormat);
    return Image::fromQImage(image);
}

}  // namespace mirelo::convert
