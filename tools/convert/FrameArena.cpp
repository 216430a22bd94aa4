#include "convert/FrameArena.h"

#include "convert/PlainPNG.h"
#include "image/PixelLayout.h"

#include <QFile>

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
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

namespace {

// A frame decoded into the arena bypasses the limit Qt's readers keep on what
// they allocate (a header can claim gigapixels in a few hundred bytes); a
// frame past it goes to Qt's reader, which refuses it with a reason.
bool withinAllocationLimit(QSize size) {
    const qint64 limitBytes = qint64(QImageReader::allocationLimit()) << 20;
    return limitBytes <= 0 || qint64(size.width()) * size.height() * 4 <= limitBytes;
}

}  // namespace

FrameArena::FrameArena() : m_pool(std::make_shared<Pool>()) {}

FrameArena::~FrameArena() = default;

size_t FrameArena::bytesTouched() const {
    std::lock_guard lock(m_pool->mutex);
    return m_pool->touched;
}

Image FrameArena::read(QImageReader& reader) {
    if (!reader.fileName().isEmpty()) {
        thread_local std::vector<uchar> fileBytes;
        thread_local PlainPNG::Decoder png;
        QFile file(reader.fileName());
        const qint64 size = file.open(QIODevice::ReadOnly) ? file.size() : -1;
        bool parsed = false;
        // Only PNG files are read whole here; others go to Qt's reader alone.
        if (size > 0 && size < (qint64(1) << 31) && file.peek(4) == "\x89PNG") {
            fileBytes.resize(size_t(size));
            parsed = file.read(reinterpret_cast<char*>(fileBytes.data()), size) == size &&
                     png.parse(fileBytes.data(), fileBytes.size());
        }
        if (parsed) {
            const size_t bytes =
                (size_t(png.width()) * size_t(png.height()) * 4 + 63) & ~size_t(63);
            uchar* memory = m_pool->allocate(bytes);
            if (memory != nullptr) {
                if (png.decode(memory)) {
                    auto* lease = new Pool::Lease{m_pool, memory, bytes};
                    return Image::fromQImage(QImage(memory, png.width(), png.height(),
                                                    qsizetype(png.width()) * 4, kStandardFormat,
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
    if (sized && rgb32 && withinAllocationLimit(size) &&
        reader.transformation() == QImageIOHandler::TransformationNone) {
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
