#include "editor/EditorFrame.h"

#include <algorithm>

namespace mirelo {

double frameDelay(int fps) {
    return 1.0 / static_cast<double>(std::max(fps, 1));
}

FrameList makeEditorFrames(const std::vector<Image>& images, int fps) {
    const double delay = frameDelay(fps);
    FrameList frames;
    frames.reserve(static_cast<qsizetype>(images.size()));
    for (const Image& image : images) {
        if (!image.isNull()) {
            frames.push_back(EditorFrame::make(image, delay));
        }
    }
    return frames;
}

}  // namespace mirelo
