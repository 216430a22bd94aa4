#include "image/BandedFrame.h"

#include "image/ImageServices.h"

#include <algorithm>
#include <utility>

namespace mirelo {

std::vector<Image> BandedFrame::cut(const Image& frame) {
    if (frame.isNull()) {
        return {};
    }
    const int width = frame.width();
    const int height = frame.height();
    std::vector<Image> bands = frame.bands();
    bool cutSo = bands.size() == static_cast<size_t>(bandCount(height));
    for (size_t i = 0; cutSo && i + 1 < bands.size(); ++i) {
        cutSo = bands[i].height() == kRows;
    }
    if (!cutSo) {
        bands.clear();
        for (int top = 0; top < height; top += kRows) {
            bands.push_back(ImageServices::subImage(
                frame, QRect(0, top, width, std::min(kRows, height - top))));
        }
    }
    return bands;
}

void BandedFrame::begin(QSize size, std::optional<QRegion> damage) {
    if (size != m_size) {
        m_previous.clear();
    }
    m_size = size;
    m_damage = std::move(damage);
    const auto count = static_cast<size_t>(size.isEmpty() ? 0 : bandCount(size.height()));
    m_bands.assign(count, Image());
    m_surfaces.assign(count, std::nullopt);
    m_failed = false;
}

QRect BandedFrame::area(int band) const {
    const int top = band * kRows;
    return {0, top, m_size.width(), std::min(kRows, m_size.height() - top)};
}

const Image& BandedFrame::previous(int band) const {
    static const Image none;
    return hasPrevious() ? m_previous[static_cast<size_t>(band)] : none;
}

QRect BandedFrame::compareSpan(int band, const QRect& whole) const {
    if (!m_damage || band % kCheckEvery == m_checkTurn) {
        return whole;
    }
    return (*m_damage & whole).boundingRect();
}

void BandedFrame::share(int band) {
    m_bands[static_cast<size_t>(band)] = previous(band);
}

void BandedFrame::put(int band, Image image) {
    m_bands[static_cast<size_t>(band)] = std::move(image);
}

QImage* BandedFrame::write(int band) {
    const QRect where = area(band);
    QImage surface =
        ImageServices::createSurface(where.width(), where.height(), ImageServices::Fill::None);
    if (surface.isNull()) {
        m_failed = true;
        return nullptr;
    }
    return &m_surfaces[static_cast<size_t>(band)].emplace(std::move(surface));
}

Image BandedFrame::finish() {
    for (size_t b = 0; b < m_bands.size() && !m_failed; ++b) {
        if (m_surfaces[b]) {
            m_bands[b] = ImageServices::imageFromSurface(std::move(*m_surfaces[b]));
            m_surfaces[b].reset();
        }
        m_failed = m_bands[b].isNull();
    }
    Image frame = m_failed ? Image() : Image::stacked(m_bands);
    if (frame.isNull()) {
        reset();
    } else {
        m_previous = std::move(m_bands);
        m_checkTurn = (m_checkTurn + 1) % kCheckEvery;
    }
    m_bands.clear();
    m_surfaces.clear();
    m_damage.reset();
    return frame;
}

void BandedFrame::reset() {
    m_previous.clear();
    m_bands.clear();
    m_surfaces.clear();
}

}  // namespace mirelo
