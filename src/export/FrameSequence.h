#pragma once

#include "image/Image.h"

#include <QSize>

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace mirelo {

// Frame `index` of an animation, made when it is asked for; a null Image when
// it cannot be had.
using FrameSource = std::function<Image(size_t index)>;

// The frames of an animation, each made when it is asked for: an export reads
// frame after frame as its encoder needs them, so only a few frames exist at
// once however long the animation is (the editor's frames with their
// overlays drawn in, for example, are drawn one at a time).
//
// frame(i) may be called from any thread, several at once, in any order and
// more than once for the same index; each call may make the frame afresh.
// size(i) gives a frame's size without making it. An encoder that takes
// frames in order (see ExportFormats.h) asks for them less freely, so a
// sequence made for it alone may serve them only that way, and may leave
// size empty.
struct FrameSequence {
    size_t count = 0;
    FrameSource frame;
    std::function<QSize(size_t index)> size;

    // Frames that exist already, handed out as they are.
    static FrameSequence of(std::vector<Image> images) {
        auto shared = std::make_shared<const std::vector<Image>>(std::move(images));
        FrameSequence sequence;
        sequence.count = shared->size();
        sequence.frame = [shared](size_t index) { return (*shared)[index]; };
        sequence.size = [shared](size_t index) { return (*shared)[index].size(); };
        return sequence;
    }
};

}  // namespace mirelo
