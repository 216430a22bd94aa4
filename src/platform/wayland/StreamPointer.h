#pragma once

#include "image/Image.h"

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <optional>

namespace mirelo::wayland {

// The pointer as a screen-cast stream reports it beside its pictures (PipeWire cursor
// metadata): where it is, in the stream's pixels, and what it looks like.
struct StreamPointer {
    QPoint position;
    // The pointer's picture (premultiplied ARGB) and the point of it at `position`; a null
    // picture when the pointer shows nothing.
    QImage sprite;
    QPoint hotspot;
};

// The largest pointer picture read: anything bigger is no pointer.
inline constexpr int kMaxPointerSide = 1024;

// What one buffer's cursor metadata (`size` bytes at `data`) says: the pointer in `last` with
// what it changes. Nothing when it says nothing new or cannot be read whole: every offset and
// size is checked against `size`.
std::optional<StreamPointer> readCursorMeta(const void* data, uint32_t size,
                                            const StreamPointer& last);

// The metadata size to ask for: room for a pointer picture of up to `side` pixels square.
uint32_t cursorMetaSize(int side);

// `picture` with `sprite` drawn with its top-left corner at `topLeft` (in the picture's
// pixels). Only the bands the sprite covers are new; the others stay shared with `picture`.
Image withPointer(const Image& picture, const QImage& sprite, const QPoint& topLeft);

}  // namespace mirelo::wayland
