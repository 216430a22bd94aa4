#include "platform/wayland/StreamPointer.h"

#include "image/ImageServices.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <QPainter>

#include <cstring>
#include <vector>

namespace mirelo::wayland {

namespace {

// The picture's pixel layout for QImage, or Invalid for one that is not read.
QImage::Format formatOf(uint32_t format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_RGBA:
            return QImage::Format_RGBA8888;
        case SPA_VIDEO_FORMAT_BGRA:
            return QImage::Format_ARGB32;  // bytes B, G, R, A on a little-endian machine
        default:
            return QImage::Format_Invalid;
    }
}

}  // namespace

uint32_t cursorMetaSize(int side) {
    return uint32_t(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) +
           uint32_t(side) * uint32_t(side) * 4u;
}

std::optional<StreamPointer> readCursorMeta(const void* data, uint32_t size,
                                            const StreamPointer& last) {
    if (data == nullptr || size < sizeof(spa_meta_cursor)) {
        return std::nullopt;
    }
    spa_meta_cursor cursor;
    std::memcpy(&cursor, data, sizeof(cursor));
    if (!spa_meta_cursor_is_valid(&cursor)) {
        return std::nullopt;
    }
    StreamPointer pointer = last;
    pointer.position = QPoint(cursor.position.x, cursor.position.y);
    if (cursor.bitmap_offset < sizeof(spa_meta_cursor) ||
        cursor.bitmap_offset > size - sizeof(spa_meta_bitmap)) {
        return pointer;  // the picture stays as it was
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    spa_meta_bitmap bitmap;
    std::memcpy(&bitmap, bytes + cursor.bitmap_offset, sizeof(bitmap));
    if (!spa_meta_bitmap_is_valid(&bitmap)) {
        return pointer;
    }
    pointer.hotspot = QPoint(cursor.hotspot.x, cursor.hotspot.y);
    const uint32_t width = bitmap.size.width;
    const uint32_t height = bitmap.size.height;
    const QImage::Format format = formatOf(bitmap.format);
    if (bitmap.offset == 0 || width == 0 || height == 0) {
        pointer.sprite = QImage();  // the pointer shows nothing
        return pointer;
    }
    if (format == QImage::Format_Invalid || width > uint32_t(kMaxPointerSide) ||
        height > uint32_t(kMaxPointerSide) || bitmap.stride < int32_t(width * 4) ||
        bitmap.offset < sizeof(spa_meta_bitmap)) {
        return pointer;
    }
    const uint64_t start = uint64_t(cursor.bitmap_offset) + bitmap.offset;
    const uint64_t end = start + uint64_t(bitmap.stride) * (height - 1) + uint64_t(width) * 4;
    if (end > size) {
        return pointer;
    }
    const QImage view(bytes + start, int(width), int(height), bitmap.stride, format);
    pointer.sprite = view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return pointer;
}

Image withPointer(const Image& picture, const QImage& sprite, const QPoint& topLeft) {
    const QRect area = QRect(topLeft, sprite.size()) & QRect(QPoint(0, 0), picture.size());
    if (sprite.isNull() || area.isEmpty()) {
        return picture;
    }
    std::vector<Image> bands = picture.bands();
    int top = 0;
    for (Image& band : bands) {
        const int rows = band.height();
        if (top + rows > area.top() && top <= area.bottom()) {
            QImage surface = band.qimage().convertToFormat(kStandardFormat);
            surface.detach();
            {
                QPainter painter(&surface);
                painter.drawImage(topLeft - QPoint(0, top), sprite);
            }
            band = ImageServices::imageFromSurface(std::move(surface));
        }
        top += rows;
    }
    return bands.size() == 1 ? bands.front() : Image::stacked(std::move(bands));
}

}  // namespace mirelo::wayland
