#include "image/Image.h"

#include <cstring>

namespace mirelo {

Image Image::fromQImage(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return {};
    }
    if (image.format() == kStandardFormat) {
        return Image(image);
    }
    QImage converted = image.convertToFormat(kStandardFormat);
    if (converted.isNull()) {
        return {};
    }
    return Image(std::move(converted));
}

uint32_t Image::pixel(int x, int y) const {
    if (isNull() || x < 0 || y < 0 || x >= width() || y >= height()) {
        return 0;
    }
    uint32_t value;
    std::memcpy(&value, constScanLine(y) + static_cast<qsizetype>(x) * 4, 4);
    return value;
}

bool Image::sharesPixelsWith(const Image& other) const {
    if (isNull() || other.isNull()) {
        return false;
    }
    const uchar* first = m_image.constBits();
    const uchar* last = m_image.constScanLine(height() - 1) + static_cast<qsizetype>(width()) * 4;
    const uchar* begin = other.m_image.constBits();
    const uchar* end = begin + other.m_image.sizeInBytes();
    return first >= begin && last <= end;
}

}  // namespace mirelo
