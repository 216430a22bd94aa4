#include "image/ImageServices.h"

#include <cmath>
#include <cstring>

namespace mirelo::ImageServices {

QImage createSurface(int width, int height, Fill fill) {
    if (width < 1 || height < 1 || qint64(width) * qint64(height) > kMaxSurfacePixels) {
        return {};
    }
    QImage surface(width, height, kStandardFormat);
    if (surface.isNull()) {
        return {};
    }
    if (fill == Fill::TransparentBlack) {
        surface.fill(Qt::transparent);
    }
    return surface;
}

Image imageFromSurface(QImage surface) {
    return Image::fromQImage(surface);
}

void prepareHighQuality(QPainter& painter) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::Antialiasing, true);
}

Image scaled(const Image& image, int width, int height, ScaleQuality quality) {
    if (image.isNull() || width < 1 || height < 1 ||
        qint64(width) * qint64(height) > kMaxSurfacePixels) {
        return {};
    }
    if (image.width() == width && image.height() == height) {
        return image;
    }
    // QImage's smooth scaling averages areas when shrinking and interpolates
    // bilinearly when enlarging.
    const Qt::TransformationMode mode =
        quality == ScaleQuality::High ? Qt::SmoothTransformation : Qt::FastTransformation;
    return Image::fromQImage(image.qimage().scaled(width, height, Qt::IgnoreAspectRatio, mode));
}

Image drawnTransformed(const Image& image, QSize canvas, const QTransform& transform) {
    if (image.isNull()) {
        return {};
    }
    QImage surface = createSurface(canvas.width(), canvas.height());
    if (surface.isNull()) {
        return {};
    }
    {
        QPainter painter(&surface);
        prepareHighQuality(painter);
        painter.setTransform(transform);
        painter.drawImage(QPointF(0, 0), image.qimage());
    }
    return imageFromSurface(std::move(surface));
}

QRect integralRect(const QRectF& rect) {
    const double left = std::floor(rect.left());
    const double top = std::floor(rect.top());
    const double right = std::ceil(rect.left() + rect.width());
    const double bottom = std::ceil(rect.top() + rect.height());
    // Edges stay within ±2^29 so that the width, the height and every edge
    // QRect derives from them fit in an int.
    constexpr int kLimit = 1 << 29;
    auto clampInt = [](double v) {
        if (!std::isfinite(v)) {
            return v > 0 ? kLimit : -kLimit;
        }
        return static_cast<int>(std::clamp(v, double(-kLimit), double(kLimit)));
    };
    const int l = clampInt(left), t = clampInt(top);
    return QRect(l, t, std::max(0, clampInt(right) - l), std::max(0, clampInt(bottom) - t));
}

namespace {
void releaseSource(void* info) {
    delete static_cast<QImage*>(info);
}
}  // namespace

Image subImage(const Image& image, const QRect& rect) {
    if (image.isNull()) {
        return {};
    }
    const QRect r = rect.intersected(QRect(0, 0, image.width(), image.height()));
    if (r.width() < 1 || r.height() < 1) {
        return {};
    }
    if (r == QRect(0, 0, image.width(), image.height())) {
        return image;
    }
    if (image.pixelSource() != nullptr) {
        return image.onDemandPart(r);
    }
    const std::vector<Image> bands = image.bands();
    if (bands.size() > 1) {
        // An image of bands is cut band by band, so the part shares their pixels too.
        std::vector<Image> parts;
        int top = 0;
        for (const Image& band : bands) {
            const QRect within = r.intersected(QRect(0, top, band.width(), band.height()));
            if (!within.isEmpty()) {
                parts.push_back(subImage(band, within.translated(0, -top)));
            }
            top += band.height();
        }
        return Image::stacked(std::move(parts));
    }
    const QImage& source = image.qimage();
    const uchar* first = source.constScanLine(r.y()) + static_cast<qsizetype>(r.x()) * 4;
    // The view keeps a reference to the source's pixels alive; a read-only
    // QImage over const data copies on any write, so the source never changes.
    QImage view(first, r.width(), r.height(), source.bytesPerLine(), kStandardFormat, releaseSource,
                new QImage(source));
    return Image::fromQImage(view);
}

std::vector<uint8_t> readBytes(const Image& image) {
    if (image.isNull()) {
        return {};
    }
    const size_t row = static_cast<size_t>(image.width()) * 4;
    std::vector<uint8_t> bytes(row * static_cast<size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(bytes.data() + row * static_cast<size_t>(y), image.constScanLine(y), row);
    }
    return bytes;
}

Image fromBytes(const uint8_t* data, int width, int height, qsizetype stride) {
    if (data == nullptr || stride < qsizetype(width) * 4) {
        return {};
    }
    QImage surface = createSurface(width, height);
    if (surface.isNull()) {
        return {};
    }
    const size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        std::memcpy(surface.scanLine(y), data + stride * y, row);
    }
    return imageFromSurface(std::move(surface));
}

}  // namespace mirelo::ImageServices
