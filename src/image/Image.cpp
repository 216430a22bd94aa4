#include "image/Image.h"

#include <atomic>
#include <cstring>
#include <limits>

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

Image Image::stacked(std::vector<Image> bands) {
    if (bands.empty()) {
        return {};
    }
    const int width = bands.front().width();
    const int bandRows = bands.front().height();
    qint64 height = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        const Image& band = bands[i];
        const bool last = i + 1 == bands.size();
        if (band.isNull() || band.width() != width ||
            (last ? band.height() > bandRows : band.height() != bandRows)) {
            return {};
        }
        height += band.height();
    }
    if (height * width > std::numeric_limits<int>::max() / 4) {
        return {};
    }
    if (bands.size() == 1) {
        return bands.front();
    }
    // Keys of QImages are never negative; these count down from -1.
    static std::atomic<qint64> nextKey{0};
    auto deferred = std::make_shared<Deferred>();
    deferred->size = QSize(width, static_cast<int>(height));
    deferred->bandRows = bandRows;
    deferred->bands = std::move(bands);
    deferred->key = --nextKey;
    Image image;
    image.m_deferred = std::move(deferred);
    return image;
}

const uchar* Image::bandRow(int y) const {
    if (y < 0 || y >= m_deferred->size.height()) {
        return nullptr;
    }
    const Image& band = m_deferred->bands[static_cast<size_t>(y / m_deferred->bandRows)];
    return band.constScanLine(y % m_deferred->bandRows);
}

QImage Image::qimage() const {
    if (!m_deferred) {
        return m_image;
    }
    QImage joined(m_deferred->size, kStandardFormat);
    if (joined.isNull()) {
        return joined;
    }
    const size_t row = static_cast<size_t>(m_deferred->size.width()) * 4;
    for (int y = 0; y < m_deferred->size.height(); ++y) {
        std::memcpy(joined.scanLine(y), bandRow(y), row);
    }
    return joined;
}

qint64 Image::cacheKey() const {
    return m_deferred ? m_deferred->key : m_image.cacheKey();
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
    if (m_deferred || other.m_deferred) {
        if (m_deferred == other.m_deferred) {
            return true;
        }
        if (m_deferred) {
            return false;  // its rows lie in separate bands, never wholly in one image
        }
        for (const Image& band : other.m_deferred->bands) {
            if (sharesPixelsWith(band)) {
                return true;
            }
        }
        return false;
    }
    const uchar* first = m_image.constBits();
    const uchar* last = m_image.constScanLine(height() - 1) + static_cast<qsizetype>(width()) * 4;
    const uchar* begin = other.m_image.constBits();
    const uchar* end = begin + other.m_image.sizeInBytes();
    return first >= begin && last <= end;
}

}  // namespace mirelo
