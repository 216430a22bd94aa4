#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

namespace mirelo {

// Pixels kept somewhere other than in plain memory (compressed, or in a file) and decoded on
// demand. Implementations are immutable once made and may be read from any thread at once.
class PixelSource {
public:
    virtual ~PixelSource() = default;
    virtual QSize size() const = 0;
    // Writes every row, top first, width x 4 bytes each, tightly packed, into `out`. False when
    // the pixels cannot be had (a read failed, the data is damaged); `out` is then undefined.
    virtual bool decode(uchar* out) const = 0;
};

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

    // An image made of `bands` stacked top to bottom: all of one width, every band but the
    // first and the last of one height, the last no higher (the first may be of any height). It
    // holds only the bands, which other images may share (frames of a recording that differ in a
    // few rows share the rest); rows are read from them where they are. Null when there is no band,
    // a band is null or the bands do not fit together.
    static Image stacked(std::vector<Image> bands);

    // An image whose pixels `source` decodes when they are read, never kept with the image:
    // rows come from a small per-thread cache of decoded pixels, so a pointer from
    // constScanLine() stays good until the same thread has read a dozen other such images.
    // Pixels that cannot be decoded read as transparent black. `part` (default: all) cuts a
    // rectangle of the source. Null when the source or the part is empty.
    static Image decodedOnDemand(std::shared_ptr<const PixelSource> source, QRect part = {});

    bool isNull() const { return size().isEmpty(); }
    int width() const { return size().width(); }
    int height() const { return size().height(); }
    QSize size() const {
        return m_stacked ? m_stacked->size : m_onDemand ? m_onDemand->part.size() : m_image.size();
    }

    // Row y's pixels: width() x 4 bytes. Rows need not lie at one distance from each other
    // (see stacked()); for one surface with a fixed row distance, take qimage().
    const uchar* constScanLine(int y) const {
        return m_stacked ? bandRow(y) : m_onDemand ? onDemandRow(y) : m_image.constScanLine(y);
    }

    // One pixel as 0xAABBGGRR read from memory in R, G, B, A byte order
    // (premultiplied), for tests and slow paths only.
    uint32_t pixel(int x, int y) const;

    // The pixels as one read-only surface, for QPainter and whole-surface reads. Shares the
    // image's memory, except for an image made of bands: that is joined into a new surface for
    // each call. Never modify it expecting the Image to change: QImage detaches on write.
    QImage qimage() const;

    // The bands the image is made of, top to bottom (see stacked()); the image itself when it
    // is one surface.
    std::vector<Image> bands() const;

    // A part of an image decoded on demand that shares its source (see decodedOnDemand()); null
    // for any other image. `rect` must lie inside the image.
    Image onDemandPart(const QRect& rect) const;

    // The source of an image decoded on demand, else null.
    const PixelSource* pixelSource() const {
        return m_onDemand ? m_onDemand->source.get() : nullptr;
    }

    // Whether some of the pixels are held in plain memory rather than decoded when read.
    bool holdsPixelsInMemory() const;

    // Identifies the pixels for caches keyed by image: equal for copies of one image.
    qint64 cacheKey() const;

    // True when this image's pixels lie inside the pixel memory of `other`
    // (the same image, or a sub-image sharing its pixels rather than a copy).
    bool sharesPixelsWith(const Image& other) const;

private:
    // The bands of an image made by stacked(), shared by every copy of the image. Never changes
    // once made, so any thread may read it.
    struct Stacked {
        QSize size;
        int firstRows = 1;  // rows of the first band
        int bandRows = 1;   // rows of every later band but the last, which may have fewer
        std::vector<Image> bands;
        qint64 key = 0;
    };

    // Pixels decoded when read, shared by every copy of the image.
    struct OnDemand {
        std::shared_ptr<const PixelSource> source;
        QRect part;
        qint64 key = 0;        // of this part
        qint64 decodeKey = 0;  // of the decoded source, shared by its parts
    };

    explicit Image(QImage image) : m_image(std::move(image)) {}
    const uchar* bandRow(int y) const;
    const uchar* onDemandRow(int y) const;

    QImage m_image;
    std::shared_ptr<const Stacked> m_stacked;
    std::shared_ptr<const OnDemand> m_onDemand;
};

// The format of every Image.
inline constexpr QImage::Format kStandardFormat = QImage::Format_RGBA8888_Premultiplied;

}  // namespace mirelo
