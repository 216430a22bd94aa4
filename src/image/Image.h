#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>

namespace mirelo {

// An immutable raster image, shared by reference: copying an Image shares its
// pixels. Every frame, sticker picture and encoder input is one.
//
// Pixels are always held in the standard surface format: 8-bit R, G, B, A,
// alpha premultiplied and stored last, top row first. Readers go through
// constScanLine()/pixel() so the storage can change without touching callers.
// A default-constructed Image is null and stands for "no image".
class Image {
public:
    Image() = default;

    // Wraps a QImage, converting it to the standard format when needed.
    // A null or zero-sized QImage gives a null Image.
    static Image fromQImage(const QImage& image);

    bool isNull() const { return m_image.isNull(); }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    QSize size() const { return m_image.size(); }

    qsizetype bytesPerLine() const { return m_image.bytesPerLine(); }
    const uchar* constScanLine(int y) const { return m_image.constScanLine(y); }

    // One pixel as 0xAABBGGRR read from memory in R, G, B, A byte order
    // (premultiplied), for tests and slow paths only.
    uint32_t pixel(int x, int y) const;

    // Read-only view for drawing with QPainter. Never modify a copy in place
    // expecting the Image to change: QImage detaches on write.
    const QImage& qimage() const { return m_image; }

    // True when this image's pixels lie inside the pixel memory of `other`
    // (the same image, or a sub-image sharing its pixels rather than a copy).
    bool sharesPixelsWith(const Image& other) const;

private:
    explicit Image(QImage image) : m_image(std::move(image)) {}
    QImage m_image;
};

// The format of every Image.
inline constexpr QImage::Format kStandardFormat = QImage::Format_RGBA8888_Premultiplied;

}  // namespace mirelo
