#pragma once

#include "capture/InputEvent.h"
#include "editor/EditorFrame.h"
#include "overlay/OverlayItem.h"

#include <QList>

#include <vector>

namespace mirelo {

// The pointer highlights, key captions and click marks for a recording's input events (`seconds`
// after its first frame) over its editor frames.
QList<OverlayItem> recordedInputOverlays(const std::vector<InputEvent>& events,
                                         const FrameList& frames);

}  // namespace mirelo
