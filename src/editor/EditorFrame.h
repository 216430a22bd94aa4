#pragma once

#include "image/Image.h"

#include <QList>
#include <QUuid>

#include <vector>

namespace mirelo {

// One frame of the editor. Copying shares the image; the id is fixed at
// creation and survives geometric edits, which only replace the image.
struct EditorFrame {
    QUuid id;
    Image image;
    double delay = 0.0;  // seconds

    // A frame with a fresh random id.
    static EditorFrame make(const Image& image, double delay) {
        return EditorFrame{QUuid::createUuid(), image, delay};
    }
};

using FrameList = QList<EditorFrame>;

// Display delay of every recorded frame: 1 / fps seconds, unrounded. A rate
// below 1 counts as 1 so that no delay is infinite or negative.
double frameDelay(int fps);

// The hand-over from capture to editor: each image in order becomes a frame
// with a fresh id and the delay of `fps`. Null images are skipped.
FrameList makeEditorFrames(const std::vector<Image>& images, int fps);

}  // namespace mirelo
