// Frame order and speed: reverse, back-and-forth and speed change, and inserting frames.
#include "editor/EditorState.h"

#include <algorithm>
#include <cmath>

namespace mirelo {

QList<int> EditorState::operationIndices() const {
    QList<int> indices;
    if (m_selectedIDs.size() > 1) {
        for (int i = 0; i < frameCount(); ++i) {
            if (m_selectedIDs.contains(m_frames[i].id)) {
                indices.push_back(i);
            }
        }
    }
    if (indices.size() < 2) {
        indices.clear();
        for (int i = 0; i < frameCount(); ++i) {
            indices.push_back(i);
        }
    }
    return indices;
}

void EditorState::reverseFrames() {
    const QList<int> indices = operationIndices();
    if (indices.size() < 2) {
        return;
    }
    snapshot();
    FrameList changed = m_frames;
    for (qsizetype k = 0; k < indices.size(); ++k) {
        changed[indices[k]] = m_frames[indices[indices.size() - 1 - k]];
    }
    setFrames(std::move(changed));
}

void EditorState::pingPongFrames() {
    const QList<int> indices = operationIndices();
    if (indices.size() < 3) {
        return;
    }
    snapshot();
    FrameList back;
    for (qsizetype k = indices.size() - 2; k >= 1; --k) {
        const EditorFrame& frame = m_frames[indices[k]];
        back.push_back(EditorFrame::make(frame.image, frame.delay));
    }
    FrameList changed = m_frames;
    const int after = indices.last();
    for (qsizetype k = 0; k < back.size(); ++k) {
        changed.insert(after + 1 + k, back[k]);
    }
    setFrames(std::move(changed));
    sanitizeSelection();
}

void EditorState::setSpeed(double percent) {
    if (!(percent >= kMinimumSpeed && percent <= kMaximumSpeed) || m_frames.isEmpty()) {
        return;
    }
    const QList<int> indices = operationIndices();
    const double factor = 100.0 / percent;
    FrameList changed = m_frames;
    bool any = false;
    for (int index : indices) {
        EditorFrame& frame = changed[index];
        const double delay = std::max(frame.delay * factor, kMinimumDelay);
        any = any || delay != frame.delay;
        frame.delay = delay;
    }
    if (!any) {
        return;
    }
    snapshot();
    setFrames(std::move(changed));
}

void EditorState::insertFrames(const FrameList& frames) {
    if (frames.isEmpty()) {
        return;
    }
    snapshot();
    const int at = m_frames.isEmpty() ? 0 : std::clamp(m_currentIndex, 0, frameCount() - 1) + 1;
    FrameList changed = m_frames;
    QSet<QUuid> inserted;
    for (qsizetype k = 0; k < frames.size(); ++k) {
        // Fresh ids: the same file inserted twice must not repeat an id.
        EditorFrame frame = EditorFrame::make(frames[k].image, frames[k].delay);
        inserted.insert(frame.id);
        changed.insert(at + k, std::move(frame));
    }
    setFrames(std::move(changed));
    setSelectedIDs(inserted);
    setCurrentIndex(at);
}

}  // namespace mirelo
