#pragma once

#include "editor/EditorFrame.h"
#include "overlay/OverlayItem.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QTimer>
#include <QUuid>

namespace mirelo {

using OverlayList = QList<OverlayItem>;

// The editor model of one window: frames with delays, frame selection,
// current frame, overlays, crop state, playback and the edit history.
//
// Lives on the main thread; every member must be called there. Each observed
// field has a change signal, emitted only when the value really changes.
//
// Invariants kept by every operation: frame ids are unique; currentIndex lies
// in 0 ... max(count - 1, 0); every selected id names a frame in the list.
class EditorState : public QObject {
    Q_OBJECT

public:
    // At most this many undo steps are kept.
    static constexpr int kHistoryLimit = 30;
    // No stored delay and no playback wait is shorter than this (seconds).
    static constexpr double kMinimumDelay = 0.02;

    explicit EditorState(FrameList frames = {}, QObject* parent = nullptr);
    ~EditorState() override;

    // --- Observed fields ----------------------------------------------------
    const FrameList& frames() const { return m_frames; }
    const QSet<QUuid>& selectedIDs() const { return m_selectedIDs; }
    int currentIndex() const { return m_currentIndex; }
    bool isPlaying() const { return m_isPlaying; }
    const OverlayList& overlays() const { return m_overlays; }
    // A null QUuid means no overlay is selected.
    QUuid selectedOverlayID() const { return m_selectedOverlayID; }
    bool isCropping() const { return m_isCropping; }
    QRectF cropRect() const { return m_cropRect; }

    // Selection belongs to the views; the model never derives it.
    void setSelectedIDs(const QSet<QUuid>& ids);
    void setSelectedOverlayID(const QUuid& id);
    void setCropping(bool cropping);
    void setCropRect(const QRectF& rect);

    // --- Derived values -----------------------------------------------------
    // Sum of all delays in list order; 0 for an empty list.
    double totalDuration() const;
    // Pixel size of the first frame; (0, 0) with no frames.
    QSizeF imageSize() const;
    int frameCount() const { return static_cast<int>(m_frames.size()); }

    // --- Navigation ---------------------------------------------------------
    // Clamps into the list; leaves selection and playback alone.
    void seek(int index);

    // --- History ------------------------------------------------------------
    bool canUndo() const { return !m_undoStack.isEmpty(); }
    bool canRedo() const { return !m_redoStack.isEmpty(); }
    int undoCount() const { return static_cast<int>(m_undoStack.size()); }
    int redoCount() const { return static_cast<int>(m_redoStack.size()); }
    void undo();
    void redo();

    // --- Frame-list operations (one undo step each, or nothing) -------------
    void deleteSelected();
    void deleteBeforeCurrent();
    void deleteAfterCurrent();
    // Gives every selected frame max(seconds, 0.02); NaN stores 0.02 and an
    // infinite value is ignored.
    void setDelay(double seconds);

    // --- Playback ------------------------------------------------------------
    void play();
    void pause();

signals:
    void framesChanged();
    void selectedIDsChanged();
    void currentIndexChanged(int index);
    void isPlayingChanged(bool playing);
    void overlaysChanged();
    void selectedOverlayIDChanged();
    void isCroppingChanged(bool cropping);
    void cropRectChanged();
    // The undo or redo stack changed (for enabling undo/redo commands).
    void historyChanged();

protected:
    // Records {frames, overlays} before a change; drops the oldest entry past
    // the limit and empties the redo stack. Called once by every edit, only
    // after it has decided to change something.
    void snapshot();
    // Drops selected ids that no longer exist and clamps currentIndex.
    void sanitizeSelection();

    void setFrames(FrameList frames);
    void setOverlays(OverlayList overlays);
    void setCurrentIndex(int index);
    void setPlaying(bool playing);

private:
    struct EditSnapshot {
        FrameList frames;
        OverlayList overlays;
    };

    void scheduleNextStep();
    void playbackStep();

    FrameList m_frames;
    QSet<QUuid> m_selectedIDs;
    int m_currentIndex = 0;
    bool m_isPlaying = false;
    OverlayList m_overlays;
    QUuid m_selectedOverlayID;
    QList<EditSnapshot> m_undoStack;
    QList<EditSnapshot> m_redoStack;
    bool m_isCropping = false;
    QRectF m_cropRect;

    // The playback loop: one single-shot timer per step, owned by the model so
    // that it dies with it and never keeps a closed editor alive.
    QTimer m_playbackTimer;
};

}  // namespace mirelo
