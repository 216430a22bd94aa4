#pragma once

#include "editor/EditHistory.h"
#include "editor/EditorFrame.h"
#include "editor/FrameSink.h"
#include "editor/PictureChooser.h"
#include "editor/PlaybackScheduler.h"
#include "overlay/OverlayItem.h"
#include "overlay/StickerLoader.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace mirelo {

// Why an operation the user asked for was refused; the interface words it.
struct EditorRefusal {
    enum class Kind {
        lastFrame,   // deleting would leave no frame
        picture,     // the chosen picture cannot be used: `picture` says why
        frameStore,  // the store of new frames failed: `detail` is its own account
    };
    Kind kind = Kind::lastFrame;
    StickerLoader::Failure picture = StickerLoader::Failure::none;
    QString detail;
};

// New frames that would not fit in memory: what they need and what there is, in bytes.
struct MemoryShortage {
    double neededBytes = 0;
    double availableBytes = 0;
};

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
    static constexpr int kHistoryLimit = EditHistory::kLimit;
    // No stored delay and no playback wait is shorter than this (seconds).
    static constexpr double kMinimumDelay = PlaybackLoop::kMinimumDelay;

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
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    int undoCount() const { return m_history.undoCount(); }
    int redoCount() const { return m_history.redoCount(); }
    void undo();
    void redo();

    // --- Frame-list operations (one undo step each, or nothing) -------------
    void deleteSelected();
    void deleteBeforeCurrent();
    void deleteAfterCurrent();
    // Gives every selected frame max(seconds, 0.02); NaN stores 0.02 and an
    // infinite value is ignored.
    void setDelay(double seconds);

    // --- Frame order and speed (FrameListOperations.cpp) --------------------------
    // Each works on the selected frames, or on every frame when at most one is selected, and
    // records one undo step when it changes anything. Overlays stay as they are.
    // Reverses the order of those frames in the places they take; each keeps its delay.
    void reverseFrames();
    // Appends those frames in reverse after the last of them, without repeating the first
    // and last (a b c d gives a b c d c b), so the loop runs back and forth. The copies are
    // new frames sharing the images. Nothing with fewer than three frames.
    void pingPongFrames();
    // Plays those frames at `percent` of their speed (10 ... 1000): every delay is divided by
    // percent / 100, never below the shortest delay. Values outside the range are ignored.
    void setSpeed(double percent);
    // Inserts `frames` after the current frame (one undo step); they become the selection
    // and the first of them the current frame. Frames should have the recording's size.
    void insertFrames(const FrameList& frames);
    static constexpr double kMinimumSpeed = 10;
    static constexpr double kMaximumSpeed = 1000;

    // --- Playback ------------------------------------------------------------
    void play();
    void pause();
    // Replaces what times the playback steps (a precise timer by default).
    void setPlaybackScheduler(std::unique_ptr<PlaybackScheduler> scheduler);

    // --- Overlays (EditorOverlays.cpp) -------------------------------------------
    // Where addSticker() and replaceStickerImage() get their picture file.
    // Without a chooser both do nothing.
    void setPictureChooser(std::unique_ptr<PictureChooser> chooser);

    // Each add pauses playback, records one undo step, appends the new overlay
    // (drawn on top) and selects it. A sticker's step is recorded only once
    // its picture has loaded; a cancelled or refused file changes nothing.
    void addText();
    // The text a new text overlay starts with (the interface's words).
    void setSampleText(const QString& text);
    void addSticker();
    void addMosaic();
    void addArrow();
    // A new picture for the sticker `id`, keeping its rectangle's origin and
    // width and taking the picture's proportions. Records one step once the
    // picture has loaded, even when `id` is gone or not a sticker.
    void replaceStickerImage(const QUuid& id);
    // Removes the overlay `id` (one undo step; nothing when it is absent).
    void deleteOverlay(const QUuid& id);
    // Replaces the content of the overlay `id`. Inside an open edit of that
    // overlay the change joins the edit's undo step; otherwise it records a
    // step of its own.
    void setOverlayContent(const QUuid& id, const OverlayContent& content);

    // --- Recorded keys, clicks and pointer ----------------------------------------
    // Key captions, click marks and pointer highlights (timed overlays) lie on the frames they
    // belong to: deleting frames takes them off those frames, and an overlay left on no frame goes,
    // in the same undo step; the geometry operations move click marks and highlights with the
    // picture and keep captions upright on the new frames.
    //
    // Lays the overlays made from a recording's input over the frames, without an undo step
    // (the editor opens with them). Ids of frames not in the list are dropped first.
    void layRecordedInput(OverlayList overlays);
    enum class InputKind { keyCaptions, clickMarks, pointerHighlights };
    // Whether the editor holds overlays of `kind`, and whether any of them is shown.
    bool hasInputOverlays(InputKind kind) const;
    bool inputOverlaysShown(InputKind kind) const;
    // Shows or hides every overlay of `kind` (one undo step; nothing when none changes).
    void setInputOverlaysShown(InputKind kind, bool shown);

    // --- One undo step per edit ---------------------------------------------------
    // An edit that spans many changes of one overlay (a drag on the canvas,
    // typing a text, the inspector's controls while the overlay stays
    // selected) is one undo step: the edit is open while the returned token
    // lives (see EditHistory::EditGroup). A view keeps one token and
    // replaces it to edit another overlay. Several edits may be open at
    // once: a change goes to the one begun last for its overlay.
    [[nodiscard]] EditGroup beginOverlayEdit(const QUuid& overlay);

    // --- Geometry (EditorGeometry.cpp) -------------------------------------------
    // Crop, resize, quarter turns and mirrors make the new frames on worker threads and return
    // at once: the change lands (one undo step, with the overlays) when every frame is made,
    // with geometryFinished(). Until then isTransforming() holds, geometryProgress() counts the
    // frames, further geometry requests are ignored, and cancelGeometry() drops the work,
    // leaving frames, overlays and history as they were. Only a few frames are in memory at
    // once: with a sink factory (setFrameSinkFactory) every new frame goes to its sink as it
    // is made, and the model keeps what the sink gives back. Should the frame list change
    // while the work runs, the work is dropped when it ends.
    enum class GeometryOperation { crop, resize, rotate, flip };
    bool isTransforming() const { return m_geometryJob != nullptr; }
    // The operation running, while isTransforming().
    GeometryOperation geometryOperation() const { return m_geometryOperation; }
    // Stops the running operation (at its next frame) and waits for its threads; nothing
    // changes. Nothing happens when no operation runs.
    void cancelGeometry();
    // Waits for the running operation and lands its change now (for tools and tests).
    void waitForGeometry();
    void setFrameSinkFactory(FrameSinkFactory factory);

    // Crop mode: start pauses playback and sets the crop rectangle to the
    // whole frame; cancel only leaves the mode. Neither records a step.
    void startCrop();
    void cancelCrop();
    // Leaves crop mode and, when the rectangle is at least 10 x 10 and
    // overlaps the frames, crops every frame to it (one undo step). Overlays
    // move with the crop; stickers and mosaics are clipped to it.
    void applyCrop();
    // Scales every frame to the rounded size (one undo step); overlays scale
    // by the unrounded factors. A size that is not finite, or that rounds to
    // no pixel or to more than a surface can hold, is ignored.
    // A size whose new frames would not fit in the memory available is
    // refused too (see resizeRefusal).
    void resize(const QSizeF& newSize);
    // Why resize(newSize) would be refused for memory, or nothing when it
    // fits. Without a frame sink the new frames stay in
    // memory, width x height x 4 bytes each (the old ones stay for undo), and
    // must fit in three quarters of the memory available; with one, only a
    // few are in memory at once and nothing is refused.
    std::optional<MemoryShortage> resizeRefusal(const QSizeF& newSize) const;
    // Where the memory available comes from (bytes); /proc/meminfo's
    // MemAvailable unless a test gives its own.
    void setAvailableMemoryProbe(std::function<qint64()> probe);
    // Quarter turn of every frame and overlay (one undo step).
    void rotate(bool clockwise);
    // Mirrors every frame and overlay, left-right when `horizontal` (one
    // undo step).
    void flip(bool horizontal);

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
    // An operation the user asked for was refused; `reason` says why (a
    // picture that cannot be used, a delete of every frame, a failed store).
    void refused(const mirelo::EditorRefusal& reason);
    // A geometry operation began making frames; `total` frames are to be made.
    void geometryStarted(int total);
    // `done` of `total` frames are made.
    void geometryProgress(int done, int total);
    // The operation ended: landed, cancelled, dropped or failed (a failure is refused() too).
    void geometryFinished();

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

    // Starts transforming the images of every frame; when all are made, records one undo step,
    // replaces the images and then, when given, transforms every overlay; overlays whose
    // bounds end up under 2 x 2 pixels are removed and the overlay selection is cleared if its
    // item went. A frame whose transform gives a null Image keeps its image. The frame
    // transform runs on several threads and must not touch shared state; both transforms are
    // kept until the operation ends, so they must hold what they need by value.
    using FrameTransform = std::function<Image(const Image&)>;
    using OverlayTransform = std::function<void(OverlayItem&)>;
    void mutateAllFrames(GeometryOperation operation, OverlayTransform overlayTransform,
                         FrameTransform frameTransform);

private:
    // The indices the frame-order operations work on: the selected frames in list order, or
    // every frame when at most one is selected.
    QList<int> operationIndices() const;

    void addStickerOverlay(const Image& picture);
    // Takes the timed overlays off frames that are gone; those left on no frame go.
    void dropOverlaysOfGoneFrames();
    void appendAndSelect(OverlayItem item);
    // The picture the chooser names, or null on cancel or a refused file.
    Image choosePicture();

    // Records the step of a change of `overlay` (see EditHistory::recordChangeOf).
    void recordOverlayChange(const QUuid& overlay);

    void scheduleNextStep();
    void playbackStep();

    FrameList m_frames;
    QSet<QUuid> m_selectedIDs;
    int m_currentIndex = 0;
    bool m_isPlaying = false;
    OverlayList m_overlays;
    QUuid m_selectedOverlayID;
    EditHistory m_history;
    bool m_isCropping = false;
    QRectF m_cropRect;

    // Owned by the model so that it dies with it and never keeps a closed
    // editor alive.
    PlaybackLoop m_playback;

    std::unique_ptr<PictureChooser> m_pictureChooser;
    std::function<qint64()> m_availableMemory;
    QString m_sampleText;

    // A geometry change over every frame: its runner (see GeometryRunner)
    // and what lands with its frames.
    struct GeometryJob;
    // Lands the job's change if it is still `serial`'s and has ended.
    void geometryEnded(quint64 serial);
    void stopGeometryJob();
    void applyOverlayTransform(const OverlayTransform& overlayTransform);
    std::shared_ptr<GeometryJob> m_geometryJob;
    GeometryOperation m_geometryOperation = GeometryOperation::crop;
    quint64 m_geometrySerial = 0;
    FrameSinkFactory m_frameSinkFactory;
};

}  // namespace mirelo
