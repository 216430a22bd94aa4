#include "editor/EditorState.h"

#include <algorithm>
#include <cmath>

namespace mirelo {

EditorState::EditorState(FrameList frames, QObject* parent)
    : QObject(parent), m_frames(std::move(frames)), m_playback([this] { playbackStep(); }) {}

EditorState::~EditorState() {
    // The worker threads post to this object: they end before it does.
    stopGeometryJob();
    m_playback.cancel();
}

// --- Field setters ----------------------------------------------------------

void EditorState::setSelectedIDs(const QSet<QUuid>& ids) {
    if (ids == m_selectedIDs) {
        return;
    }
    m_selectedIDs = ids;
    emit selectedIDsChanged();
}

void EditorState::setSelectedOverlayID(const QUuid& id) {
    if (id == m_selectedOverlayID) {
        return;
    }
    m_selectedOverlayID = id;
    emit selectedOverlayIDChanged();
}

void EditorState::setCropping(bool cropping) {
    if (cropping == m_isCropping) {
        return;
    }
    m_isCropping = cropping;
    emit isCroppingChanged(cropping);
}

void EditorState::setCropRect(const QRectF& rect) {
    if (rect == m_cropRect) {
        return;
    }
    m_cropRect = rect;
    emit cropRectChanged();
}

void EditorState::setFrames(FrameList frames) {
    m_frames = std::move(frames);
    emit framesChanged();
}

void EditorState::setOverlays(OverlayList overlays) {
    m_overlays = std::move(overlays);
    emit overlaysChanged();
}

void EditorState::setCurrentIndex(int index) {
    if (index == m_currentIndex) {
        return;
    }
    m_currentIndex = index;
    emit currentIndexChanged(index);
}

void EditorState::setPlaying(bool playing) {
    if (playing == m_isPlaying) {
        return;
    }
    m_isPlaying = playing;
    emit isPlayingChanged(playing);
}

// --- Derived values -----------------------------------------------------------

double EditorState::totalDuration() const {
    double total = 0.0;
    for (const EditorFrame& frame : m_frames) {
        total += frame.delay;
    }
    return total;
}

QSizeF EditorState::imageSize() const {
    if (m_frames.isEmpty()) {
        return QSizeF(0, 0);
    }
    const Image& first = m_frames.first().image;
    return QSizeF(first.width(), first.height());
}

void EditorState::seek(int index) {
    const int last = std::max(frameCount() - 1, 0);
    setCurrentIndex(std::clamp(index, 0, last));
}

// --- History -----------------------------------------------------------------

void EditorState::snapshot() {
    m_history.record({m_frames, m_overlays});
    emit historyChanged();
}

EditGroup EditorState::beginOverlayEdit(const QUuid& overlay) {
    return m_history.openEdit(overlay);
}

void EditorState::recordOverlayChange(const QUuid& overlay) {
    if (m_history.recordChangeOf(overlay, {m_frames, m_overlays})) {
        emit historyChanged();
    }
}

void EditorState::sanitizeSelection() {
    QSet<QUuid> present;
    present.reserve(m_frames.size());
    for (const EditorFrame& frame : m_frames) {
        present.insert(frame.id);
    }
    QSet<QUuid> kept = m_selectedIDs;
    kept.intersect(present);
    setSelectedIDs(kept);
    setCurrentIndex(std::min(m_currentIndex, std::max(frameCount() - 1, 0)));
}

void EditorState::undo() {
    std::optional<EditHistory::Snapshot> entry = m_history.undo({m_frames, m_overlays});
    if (!entry) {
        return;
    }
    setFrames(std::move(entry->frames));
    setOverlays(std::move(entry->overlays));
    setSelectedOverlayID(QUuid());
    sanitizeSelection();
    emit historyChanged();
}

void EditorState::redo() {
    std::optional<EditHistory::Snapshot> entry = m_history.redo({m_frames, m_overlays});
    if (!entry) {
        return;
    }
    setFrames(std::move(entry->frames));
    setOverlays(std::move(entry->overlays));
    setSelectedOverlayID(QUuid());
    sanitizeSelection();
    emit historyChanged();
}

// --- Frame-list operations ------------------------------------------------------

void EditorState::deleteSelected() {
    if (m_selectedIDs.isEmpty() || m_frames.size() < 2) {
        return;
    }
    snapshot();
    FrameList kept;
    kept.reserve(m_frames.size());
    for (const EditorFrame& frame : m_frames) {
        if (!m_selectedIDs.contains(frame.id)) {
            kept.push_back(frame);
        }
    }
    // Deleting every frame is refused by keeping the list as it was; the
    // history entry stays, so one undo restores an identical list.
    if (kept.isEmpty()) {
        kept = m_history.lastStep().frames;
        emit refused(EditorRefusal{EditorRefusal::Kind::lastFrame, {}, {}});
    }
    setFrames(std::move(kept));
    dropOverlaysOfGoneFrames();
    sanitizeSelection();
}

void EditorState::deleteBeforeCurrent() {
    if (m_currentIndex < 1 || m_frames.isEmpty()) {
        return;
    }
    snapshot();
    const int first = std::min(m_currentIndex, frameCount() - 1);
    setFrames(m_frames.mid(first));
    dropOverlaysOfGoneFrames();
    setCurrentIndex(0);
    sanitizeSelection();
}

void EditorState::deleteAfterCurrent() {
    if (m_currentIndex >= frameCount() - 1) {
        return;
    }
    snapshot();
    setFrames(m_frames.first(m_currentIndex + 1));
    dropOverlaysOfGoneFrames();
    sanitizeSelection();
}

void EditorState::setDelay(double seconds) {
    if (m_selectedIDs.isEmpty() || std::isinf(seconds)) {
        return;
    }
    snapshot();
    // NaN fails every comparison, so it falls to the minimum as well.
    const double delay = seconds >= kMinimumDelay ? seconds : kMinimumDelay;
    FrameList changed = m_frames;
    for (EditorFrame& frame : changed) {
        if (m_selectedIDs.contains(frame.id)) {
            frame.delay = delay;
        }
    }
    setFrames(std::move(changed));
}

// --- Playback -------------------------------------------------------------------

void EditorState::play() {
    if (m_frames.isEmpty()) {
        return;
    }
    setPlaying(true);
    scheduleNextStep();
}

void EditorState::pause() {
    setPlaying(false);
    // Cancelling removes any pending step: nothing advances after this.
    m_playback.cancel();
}

void EditorState::setPlaybackScheduler(std::unique_ptr<PlaybackScheduler> scheduler) {
    if (!scheduler) {
        return;
    }
    m_playback.setScheduler(std::move(scheduler));
    scheduleNextStep();
}

void EditorState::scheduleNextStep() {
    if (!m_isPlaying || m_frames.isEmpty()) {
        return;
    }
    const int index = std::clamp(m_currentIndex, 0, frameCount() - 1);
    m_playback.waitFor(m_frames[index].delay);
}

void EditorState::playbackStep() {
    if (!m_isPlaying || m_frames.isEmpty()) {
        return;
    }
    setCurrentIndex((m_currentIndex + 1) % frameCount());
    scheduleNextStep();
}

}  // namespace mirelo
