#include "convert/SharedBands.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace mirelo::convert {

Image SharedBands::next(const Image& frame) {
    if (frame.isNull()) {
        return frame;
    }
    const int width = frame.width();
    const int height = frame.height();
    const size_t count = size_t((height + kRows - 1) / kRows);
    const bool compare = m_size == frame.size() && m_bands.size() == count;
    std::vector<char> same(count, 0);
    size_t changed = 0;
    for (size_t k = 0; k < count; ++k) {
        const int top = int(k) * kRows;
        const int rows = std::min(kRows, height - top);
        bool equal = compare;
        for (int y = 0; equal && y < rows; ++y) {
            equal = std::memcmp(frame.constScanLine(top + y), m_bands[k].constScanLine(y),
                                size_t(width) * 4) == 0;
        }
        same[k] = equal;
        changed += equal ? 0 : 1;
    }
    const bool inPlace = 2 * changed > count;
    // The frame as one surface with a fixed row distance; views into it
    // hold it.
    const QImage surface = inPlace ? frame.qimage() : QImage();
    std::vector<Image> bands(count);
    for (size_t k = 0; k < count; ++k) {
        const int top = int(k) * kRows;
        const int rows = std::min(kRows, height - top);
        if (same[k]) {
            bands[k] = m_bands[k];
        } else if (inPlace) {
            bands[k] = Image::fromQImage(QImage(
                surface.constScanLine(top), width, rows, surface.bytesPerLine(), surface.format(),
                [](void* held) { delete static_cast<QImage*>(held); }, new QImage(surface)));
        } else {
            QImage copy(width, rows, QImage::Format_RGBA8888_Premultiplied);
            if (copy.isNull()) {
                return {};
            }
            for (int y = 0; y < rows; ++y) {
                std::memcpy(copy.scanLine(y), frame.constScanLine(top + y), size_t(width) * 4);
            }
            bands[k] = Image::fromQImage(copy);
        }
        if (bands[k].isNull()) {
            return {};
        }
    }
    m_size = frame.size();
    m_bands = bands;
    return changed == count ? frame : Image::stacked(std::move(bands));
}

}  // namespace mirelo::convert
