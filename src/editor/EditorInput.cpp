// The key captions, click marks and pointer highlights of EditorState: laying them over a
// recording, keeping them on the frames they belong to, and showing or hiding them as a whole.
#include "editor/EditorState.h"

#include <algorithm>

namespace mirelo {

namespace {

bool isOfKind(const OverlayItem& item, EditorState::InputKind kind) {
    switch (kind) {
        case EditorState::InputKind::keyCaptions:
            return std::holds_alternative<KeyCaptionOverlay>(item.content);
        case EditorState::InputKind::clickMarks:
            return std::holds_alternative<ClickMarkOverlay>(item.content);
        case EditorState::InputKind::pointerHighlights:
            return std::holds_alternative<PointerHighlightOverlay>(item.content);
    }
    return false;
}

bool isHidden(const OverlayItem& item) {
    if (const auto* caption = std::get_if<KeyCaptionOverlay>(&item.content)) {
        return caption->hidden;
    }
    if (const auto* mark = std::get_if<ClickMarkOverlay>(&item.content)) {
        return mark->hidden;
    }
    if (const auto* highlight = std::get_if<PointerHighlightOverlay>(&item.content)) {
        return highlight->hidden;
    }
    return false;
}

void setHidden(OverlayItem& item, bool hidden) {
    if (auto* caption = std::get_if<KeyCaptionOverlay>(&item.content)) {
        caption->hidden = hidden;
    } else if (auto* mark = std::get_if<ClickMarkOverlay>(&item.content)) {
        mark->hidden = hidden;
    } else if (auto* highlight = std::get_if<PointerHighlightOverlay>(&item.content)) {
        highlight->hidden = hidden;
    }
}

// `overlays` with the timed ones kept to the frames in `frames`; those on none left out.
OverlayList keptOnFrames(OverlayList overlays, const FrameList& frames) {
    QSet<QUuid> present;
    for (const EditorFrame& frame : frames) {
        present.insert(frame.id);
    }
    for (OverlayItem& item : overlays) {
        if (item.isTimed()) {
            item.frames.removeIf([&](const QUuid& id) { return !present.contains(id); });
        }
    }
    overlays.removeIf(
        [](const OverlayItem& item) { return item.isTimed() && item.frames.isEmpty(); });
    return overlays;
}

}  // namespace

void EditorState::layRecordedInput(OverlayList overlays) {
    overlays = keptOnFrames(std::move(overlays), m_frames);
    if (overlays.isEmpty()) {
        return;
    }
    setOverlays(m_overlays + overlays);
}

void EditorState::dropOverlaysOfGoneFrames() {
    OverlayList kept = keptOnFrames(m_overlays, m_frames);
    if (kept == m_overlays) {
        return;
    }
    const bool selectionGone =
        !m_selectedOverlayID.isNull() &&
        std::none_of(kept.cbegin(), kept.cend(),
                     [&](const OverlayItem& item) { return item.id == m_selectedOverlayID; });
    setOverlays(std::move(kept));
    if (selectionGone) {
        setSelectedOverlayID(QUuid());
    }
}

bool EditorState::hasInputOverlays(InputKind kind) const {
    return std::any_of(m_overlays.cbegin(), m_overlays.cend(),
                       [kind](const OverlayItem& item) { return isOfKind(item, kind); });
}

bool EditorState::inputOverlaysShown(InputKind kind) const {
    return std::any_of(m_overlays.cbegin(), m_overlays.cend(), [kind](const OverlayItem& item) {
        return isOfKind(item, kind) && !isHidden(item);
    });
}

void EditorState::setInputOverlaysShown(InputKind kind, bool shown) {
    OverlayList changed = m_overlays;
    bool any = false;
    for (OverlayItem& item : changed) {
        if (isOfKind(item, kind) && isHidden(item) == shown) {
            setHidden(item, !shown);
            any = true;
        }
    }
    if (!any) {
        return;
    }
    snapshot();
    setOverlays(std::move(changed));
}

}  // namespace mirelo
