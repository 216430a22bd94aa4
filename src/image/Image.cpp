#include "image/Image.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>

namespace mirelo {

namespace {

// Keys of QImages are never negative; keys of images made here count down from -1.
qint64 newKey() {
    static std::atomic<qint64> nextKey{0};
    return --nextKey;
}

// The pixels of images decoded on demand that this thread read last, keyed by their source's
// decode key (never reused, so an entry of a source that is gone is only never found again).
// Holds no reference to a source: a store whose frames are all gone can go at once.
class DecodeCache {
public:
    const uchar* pixels(qint64 key, const PixelSource& source) {
        ++m_clock;
        Entry* victim = &m_entries[0];
        for (Entry& entry : m_entries) {
            if (entry.key == key) {
                entry.lastUse = m_clock;
                return entry.pixels.data();
            }
            if (entry.lastUse < victim->lastUse) {
                victim = &entry;
            }
        }
        const QSize size = source.size();
        const size_t bytes =
            static_cast<size_t>(size.width()) * static_cast<size_t>(size.height()) * 4;
        victim->key = 0;
        victim->pixels.resize(bytes);
        if (!source.decode(victim->pixels.data())) {
            std::memset(victim->pixels.data(), 0, bytes);
        }
        victim->key = key;
        victim->lastUse = m_clock;
        return victim->pixels.data();
    }

private:
    struct Entry {
        qint64 key = 0;
        uint64_t lastUse = 0;
        std::vector<uchar> pixels;
    };
    // Callers hold at most a few rows at once; a dozen sources keeps every one of them valid.
    std::array<Entry, 12> m_entries;
    uint64_t m_clock = 0;
};

thread_local DecodeCache t_decodeCache;

}  // namespace

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
    const int firstRows = bands.front().height();
    const int bandRows = bands.size() > 1 ? bands[1].height() : firstRows;
    qint64 height = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        const Image& band = bands[i];
        const bool last = i + 1 == bands.size();
        if (band.isNull() || band.width() != width ||
            (i > 0 && (last ? band.height() > bandRows : band.height() != bandRows))) {
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
    auto stacked = std::make_shared<Stacked>();
    stacked->size = QSize(width, static_cast<int>(height));
    stacked->firstRows = firstRows;
    stacked->bandRows = bandRows;
    stacked->bands = std::move(bands);
    stacked->key = newKey();
    Image image;
    image.m_stacked = std::move(stacked);
    return image;
}

Image Image::decodedOnDemand(std::shared_ptr<const PixelSource> source, QRect part) {
    if (!source) {
        return {};
    }
    const QRect whole(QPoint(0, 0), source->size());
    if (whole.isEmpty() || whole.width() > std::numeric_limits<int>::max() / 4 / whole.height()) {
        return {};
    }
    part = part.isNull() ? whole : part.intersected(whole);
    if (part.isEmpty()) {
        return {};
    }
    auto onDemand = std::make_shared<OnDemand>();
    onDemand->source = std::move(source);
    onDemand->part = part;
    onDemand->key = newKey();
    onDemand->decodeKey = newKey();
    Image image;
    image.m_onDemand = std::move(onDemand);
    return image;
}

Image Image::onDemandPart(const QRect& rect) const {
    if (!m_onDemand) {
        return {};
    }
    const QRect part = rect.translated(m_onDemand->part.topLeft()).intersected(m_onDemand->part);
    if (part.isEmpty()) {
        return {};
    }
    if (part == m_onDemand->part) {
        return *this;
    }
    auto onDemand = std::make_shared<OnDemand>(*m_onDemand);
    onDemand->part = part;
    onDemand->key = newKey();
    Image image;
    image.m_onDemand = std::move(onDemand);
    return image;
}

const uchar* Image::onDemandRow(int y) const {
    const OnDemand& d = *m_onDemand;
    if (y < 0 || y >= d.part.height()) {
        return nullptr;
    }
    const uchar* pixels = t_decodeCache.pixels(d.decodeKey, *d.source);
    const qsizetype stride = static_cast<qsizetype>(d.source->size().width()) * 4;
    return pixels + (d.part.y() + y) * stride + static_cast<qsizetype>(d.part.x()) * 4;
}

const uchar* Image::bandRow(int y) const {
    if (y < 0 || y >= m_stacked->size.height()) {
        return nullptr;
    }
    const Stacked& d = *m_stacked;
    if (y < d.firstRows) {
        return d.bands.front().constScanLine(y);
    }
    const int rest = y - d.firstRows;
    return d.bands[static_cast<size_t>(1 + rest / d.bandRows)].constScanLine(rest % d.bandRows);
}

QImage Image::qimage() const {
    if (!m_stacked && !m_onDemand) {
        return m_image;
    }
    QImage joined(size(), kStandardFormat);
    if (joined.isNull()) {
        return joined;
    }
    const size_t row = static_cast<size_t>(width()) * 4;
    for (int y = 0; y < height(); ++y) {
        std::memcpy(joined.scanLine(y), constScanLine(y), row);
    }
    return joined;
}

std::vector<Image> Image::bands() const {
    if (m_stacked) {
        return m_stacked->bands;
    }
    if (isNull()) {
        return {};
    }
    return {*this};
}

bool Image::holdsPixelsInMemory() const {
    if (m_stacked) {
        return std::any_of(m_stacked->bands.cbegin(), m_stacked->bands.cend(),
                           [](const Image& band) { return band.holdsPixelsInMemory(); });
    }
    return !isNull() && !m_onDemand;
}

qint64 Image::cacheKey() const {
    return m_stacked ? m_stacked->key : m_onDemand ? m_onDemand->key : m_image.cacheKey();
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
    if (m_onDemand || other.m_onDemand) {
        if (other.m_stacked) {
            for (const Image& band : other.m_stacked->bands) {
                if (sharesPixelsWith(band)) {
                    return true;
                }
            }
            return false;
        }
        return m_onDemand && other.m_onDemand && m_onDemand->source == other.m_onDemand->source &&
               other.m_onDemand->part.contains(m_onDemand->part);
    }
    if (m_stacked || other.m_stacked) {
        if (m_stacked == other.m_stacked) {
            return true;
        }
        if (m_stacked) {
            return false;  // its rows lie in separate bands, never wholly in one image
        }
        for (const Image& band : other.m_stacked->bands) {
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
