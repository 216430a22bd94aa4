#include "convert/SharedBands.h"

#include <QImage>

#include <cstring>
#include <vector>

namespace mirelo::convert {

Image SharedBands::next(const Image& frame) {
    if (frame.isNull()) {
        return frame;
    }
    const int width = frame.width();
    m_bands.begin(frame.size());
    const size_t count = size_t(m_bands.count());
    std::vector<char> same(count, 0);
    size_t changed = 0;
    for (size_t k = 0; k < count; ++k) {
        const int b = int(k);
        const int top = m_bands.area(b).top();
        const Image& before = m_bands.previous(b);
        const auto now = [&](int y) {
            return reinterpret_cast<const uint32_t*>(frame.constScanLine(y));
        };
        const auto then = [&](int y) {
            return reinterpret_cast<const uint32_t*>(before.constScanLine(y - top));
        };
        same[k] = m_bands.firstChangedRow(b, now, then) > m_bands.area(b).bottom();
        changed += same[k] ? 0 : 1;
    }
    const bool inPlace = 2 * changed > count;
    // The frame as one surface with a fixed row distance; views into it
    // hold it.
    const QImage surface = inPlace ? frame.qimage() : QImage();
    for (size_t k = 0; k < count; ++k) {
        const int b = int(k);
        const QRect area = m_bands.area(b);
        if (same[k]) {
            m_bands.share(b);
        } else if (inPlace) {
            m_bands.put(b, Image::fromQImage(QImage(
                               surface.constScanLine(area.top()), width, area.height(),
                               surface.bytesPerLine(), surface.format(),
                               [](void* held) { delete static_cast<QImage*>(held); },
                               new QImage(surface))));
        } else {
            QImage* copy = m_bands.write(b);
            if (copy == nullptr) {
                break;
            }
            for (int y = 0; y < area.height(); ++y) {
                std::memcpy(copy->scanLine(y), frame.constScanLine(area.top() + y),
                            size_t(width) * 4);
            }
        }
    }
    const Image banded = m_bands.finish();
    if (banded.isNull()) {
        return {};
    }
    return changed == count ? frame : banded;
}

}  // namespace mirelo::convert
