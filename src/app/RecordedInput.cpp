#include "app/RecordedInput.h"

#include "overlay/InputOverlays.h"

namespace mirelo {

QList<OverlayItem> recordedInputOverlays(const std::vector<InputEvent>& events,
                                         const FrameList& frames) {
    if (events.empty() || frames.isEmpty()) {
        return {};
    }
    std::vector<InputOverlays::Key> keys;
    std::vector<InputOverlays::Click> clicks;
    std::vector<InputOverlays::Pointer> pointers;
    for (const InputEvent& event : events) {
        switch (event.kind) {
            case InputEvent::Kind::keyPress:
                keys.push_back({event.seconds, keyCombination(event), event.typing});
                break;
            case InputEvent::Kind::buttonPress:
                clicks.push_back({event.seconds, QPointF(event.position) + QPointF(0.5, 0.5),
                                  event.button == 3});
                break;
            case InputEvent::Kind::buttonRelease:
                break;  // a mark shows the press
            case InputEvent::Kind::pointerMove:
                pointers.push_back({event.seconds, QPointF(event.position) + QPointF(0.5, 0.5)});
                break;
        }
    }
    QList<QUuid> ids;
    std::vector<double> delays;
    for (const EditorFrame& frame : frames) {
        ids.push_back(frame.id);
        delays.push_back(frame.delay);
    }
    const QSizeF size(frames.constFirst().image.size());
    // The highlights first: they lie under the captions and marks.
    return InputOverlays::pointerHighlights(std::move(pointers), ids, delays, size) +
           InputOverlays::make(std::move(keys), std::move(clicks), ids, delays, size);
}

}  // namespace mirelo
