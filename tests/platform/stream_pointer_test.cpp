// The pointer a screen-cast stream reports beside its pictures: read from the buffers'
// metadata with every offset checked, and drawn into the pictures' bands it covers.
#include "platform/wayland/StreamPointer.h"
#include "support/TestImages.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace mirelo::wayland {
namespace {

// Cursor metadata as a compositor writes it: the cursor, then (when `side` > 0) a bitmap of
// `side` x `side` opaque red pixels in `format`.
std::vector<uint8_t> meta(QPoint position, QPoint hotspot, int side,
                          uint32_t format = SPA_VIDEO_FORMAT_RGBA) {
    std::vector<uint8_t> bytes(cursorMetaSize(std::max(side, 1)), 0);
    spa_meta_cursor cursor{};
    cursor.id = 1;
    cursor.position = {position.x(), position.y()};
    cursor.hotspot = {hotspot.x(), hotspot.y()};
    if (side > 0) {
        cursor.bitmap_offset = sizeof(spa_meta_cursor);
        spa_meta_bitmap bitmap{};
        bitmap.format = format;
        bitmap.size = {uint32_t(side), uint32_t(side)};
        bitmap.stride = side * 4;
        bitmap.offset = sizeof(spa_meta_bitmap);
        std::memcpy(bytes.data() + sizeof(cursor), &bitmap, sizeof(bitmap));
        uint8_t* pixels = bytes.data() + sizeof(cursor) + sizeof(bitmap);
        const uint8_t red[4] = {0xff, 0, 0, 0xff};      // R, G, B, A
        const uint8_t redBgra[4] = {0, 0, 0xff, 0xff};  // B, G, R, A
        for (int i = 0; i < side * side; ++i) {
            std::memcpy(pixels + i * 4, format == SPA_VIDEO_FORMAT_BGRA ? redBgra : red, 4);
        }
    }
    std::memcpy(bytes.data(), &cursor, sizeof(cursor));
    return bytes;
}

TEST(StreamPointer, MetadataGivesPositionAndPicture) {
    const std::vector<uint8_t> full = meta({30, 40}, {2, 3}, 8);
    const std::optional<StreamPointer> pointer =
        readCursorMeta(full.data(), uint32_t(full.size()), {});
    ASSERT_TRUE(pointer);
    EXPECT_EQ(pointer->position, QPoint(30, 40));
    EXPECT_EQ(pointer->hotspot, QPoint(2, 3));
    ASSERT_EQ(pointer->sprite.size(), QSize(8, 8));
    EXPECT_EQ(pointer->sprite.pixelColor(4, 4), QColor(Qt::red));
    const std::vector<uint8_t> bgra = meta({0, 0}, {0, 0}, 4, SPA_VIDEO_FORMAT_BGRA);
    EXPECT_EQ(readCursorMeta(bgra.data(), uint32_t(bgra.size()), {})->sprite.pixelColor(1, 1),
              QColor(Qt::red));

    // A move alone keeps the picture; id 0 says nothing new.
    const std::vector<uint8_t> moved = meta({31, 41}, {}, 0);
    const std::optional<StreamPointer> next =
        readCursorMeta(moved.data(), uint32_t(moved.size()), *pointer);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->position, QPoint(31, 41));
    EXPECT_EQ(next->sprite, pointer->sprite);
    EXPECT_EQ(next->hotspot, QPoint(2, 3));
    std::vector<uint8_t> nothing = moved;
    std::memset(nothing.data(), 0, 4);
    EXPECT_FALSE(readCursorMeta(nothing.data(), uint32_t(nothing.size()), *pointer));
}

TEST(StreamPointer, DamagedMetadataIsNotReadPastItsEnd) {
    const std::vector<uint8_t> full = meta({30, 40}, {2, 3}, 8);
    StreamPointer last;
    last.position = QPoint(1, 1);
    // Too short for the cursor: nothing. Too short for the bitmap's pixels: the position only.
    EXPECT_FALSE(readCursorMeta(full.data(), sizeof(spa_meta_cursor) - 1, last));
    const std::optional<StreamPointer> cut =
        readCursorMeta(full.data(), uint32_t(full.size() - 1), last);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->position, QPoint(30, 40));
    EXPECT_TRUE(cut->sprite.isNull());

    // A bitmap offset or size pointing past the end, or a stride too small for the width.
    auto bitmapOf = [](std::vector<uint8_t>& bytes) {
        return reinterpret_cast<spa_meta_bitmap*>(bytes.data() + sizeof(spa_meta_cursor));
    };
    std::vector<uint8_t> far = full;
    reinterpret_cast<spa_meta_cursor*>(far.data())->bitmap_offset = 0xfffffff0u;
    EXPECT_TRUE(readCursorMeta(far.data(), uint32_t(far.size()), last)->sprite.isNull());
    std::vector<uint8_t> huge = full;
    bitmapOf(huge)->size = {0x10000, 0x10000};
    EXPECT_TRUE(readCursorMeta(huge.data(), uint32_t(huge.size()), last)->sprite.isNull());
    std::vector<uint8_t> narrow = full;
    bitmapOf(narrow)->stride = 4;
    EXPECT_TRUE(readCursorMeta(narrow.data(), uint32_t(narrow.size()), last)->sprite.isNull());
    std::vector<uint8_t> offset = full;
    bitmapOf(offset)->offset = 0x7fffffffu;
    EXPECT_TRUE(readCursorMeta(offset.data(), uint32_t(offset.size()), last)->sprite.isNull());
}

TEST(StreamPointer, DrawnIntoTheBandsItCoversOnly) {
    std::vector<Image> bands;
    for (int i = 0; i < 4; ++i) {
        bands.push_back(test::solidImage(40, 16, Qt::white));
    }
    const Image picture = Image::stacked(bands);
    QImage sprite(6, 6, QImage::Format_ARGB32_Premultiplied);
    sprite.fill(Qt::blue);

    // From row 14 to 19: the first two bands.
    const Image drawn = withPointer(picture, sprite, QPoint(10, 14));
    const QImage pixels = drawn.qimage();
    EXPECT_EQ(pixels.pixelColor(10, 14), QColor(Qt::blue));
    EXPECT_EQ(pixels.pixelColor(15, 19), QColor(Qt::blue));
    EXPECT_EQ(pixels.pixelColor(16, 19), QColor(Qt::white));
    EXPECT_EQ(pixels.pixelColor(10, 20), QColor(Qt::white));
    const std::vector<Image> after = drawn.bands();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_FALSE(after[0].sharesPixelsWith(bands[0]));
    EXPECT_FALSE(after[1].sharesPixelsWith(bands[1]));
    EXPECT_TRUE(after[2].sharesPixelsWith(bands[2]));
    EXPECT_TRUE(after[3].sharesPixelsWith(bands[3]));
    // The picture it was drawn on is unchanged; off the picture nothing is drawn.
    EXPECT_EQ(picture.qimage().pixelColor(10, 14), QColor(Qt::white));
    EXPECT_EQ(withPointer(picture, sprite, QPoint(-10, 70)).cacheKey(), picture.cacheKey());
}

}  // namespace
}  // namespace mirelo::wayland
