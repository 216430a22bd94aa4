#include "convert/FrameArena.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

namespace mirelo::convert {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapping = size_t(512) << 20;  // address space only until touched

// 0xAARRGGBB words (bytes B, G, R, A) to premultiplied R, G, B, A bytes.
void toStandard(uchar* bits, qsizetype count, bool opaque) {
    for (qsizetype i = 0; i < count; ++i) {
        uchar* p = bits + i * 4;
        uint32_t argb;
        std::memcpy(&argb, p, 4);
        if (!opaque) {
            argb = qPremultiply(argb);
        }
        p[0] = uchar(argb >> 16);
        p[1] = uchar(argb >> 8);
        p[2] = uchar(argb);
        p[3] = opaque ? 255 : uchar(argb >> 24);
    }
}

}  // namespace

FrameArena::~FrameArena() {
    for (const auto& [address, size] : m_mappings) {
        munmap(address, size);
    }
}

uchar* FrameArena::allocate(size_t bytes) {
    bytes = (bytes + 63) & ~size_t(63);
    std::lock_guard lock(m_mutex);
    if (bytes > m_left) {
        const size_t size = std::max(kMapping, bytes + kHugePage);
        void* address =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) {
            return nullptr;
        }
        m_mappings.emplace_back(address, size);
        // Start on a huge page boundary so whole huge pages can back it.
        const uintptr_t start =
            (reinterpret_cast<uintptr_t>(address) + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
        m_free = reinterpret_cast<uchar*>(start);
        m_left = size - (start - reinterpret_cast<uintptr_t>(address));
        madvise(m_free, m_left, MADV_HUGEPAGE);
    }
    uchar* block = m_free;
    m_free += bytes;
    m_left -= bytes;
    return block;
}

Image FrameArena::read(QImageReader& reader) {
    const QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    const bool rgb32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
    if (size.isValid() && !size.isEmpty() && rgb32 &&
        reader.transformation() == QImageIOHandler::TransformationNone) {
        uchar* memory = allocate(size_t(size.width()) * size_t(size.height()) * 4);
        if (memory != nullptr) {
            // Qt decodes into an image of the right size and format in place.
            QImage target(memory, size.width(), size.height(), qsizetype(size.width()) * 4, format);
            if (!reader.read(&target)) {
                return {};
            }
            if (target.constBits() == memory && target.format() == format) {
                toStandard(memory, qsizetype(size.width()) * size.height(),
                           format == QImage::Format_RGB32);
                return Image::fromQImage(QImage(memory, size.width(), size.height(),
                                                qsizetype(size.width()) * 4, kStandardFormat));
            }
            target.convertTo(kStandardFormat);
            return Image::fromQImage(target);
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
