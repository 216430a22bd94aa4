#pragma once

#include "editor/EditorFrame.h"
#include "overlay/OverlayItem.h"

#include <QList>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

namespace mirelo {

using OverlayList = QList<OverlayItem>;

// The editor's undo and redo steps, each the frames and overlays as they
// were, and the edits that group many changes of one overlay into one step.
//
// Not thread-safe: the editor model's thread only.
class EditHistory {
public:
    // At most this many undo steps are kept.
    static constexpr int kLimit = 30;

    struct Snapshot {
        FrameList frames;
        OverlayList overlays;
    };

    // An open edit of one overlay: its changes are one undo step, recorded
    // at its first change (none when nothing changes). Once any other step
    // has been recorded, or after undo or redo, its next change records a
    // new step, so every step undoes exactly the changes made since the one
    // before. The edit is open while the token lives, or until close();
    // a token that outlives its history closes nothing.
    class EditGroup {
    public:
        EditGroup() = default;
        EditGroup(EditGroup&& other) noexcept;
        EditGroup& operator=(EditGroup&& other) noexcept;
        EditGroup(const EditGroup&) = delete;
        EditGroup& operator=(const EditGroup&) = delete;
        ~EditGroup();

        bool isOpen() const;
        void close();

    private:
        friend class EditHistory;
        struct Open;
        EditGroup(std::weak_ptr<std::vector<Open>> groups, quint64 id);

        std::weak_ptr<std::vector<Open>> m_groups;
        quint64 m_id = 0;
    };

    EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    bool canUndo() const { return !m_undo.isEmpty(); }
    bool canRedo() const { return !m_redo.isEmpty(); }
    int undoCount() const { return static_cast<int>(m_undo.size()); }
    int redoCount() const { return static_cast<int>(m_redo.size()); }
    // The state the latest undo step brings back; canUndo() must hold.
    const Snapshot& lastStep() const { return m_undo.last(); }

    // Records `before` as an undo step, dropping the oldest past the limit
    // and every redo step.
    void record(Snapshot before);
    // Records a step for a change of `overlay` unless the open edit of it
    // begun last already has the latest one; a change outside every edit
    // records its own. Whether a step was recorded.
    bool recordChangeOf(const QUuid& overlay, const Snapshot& before);
    // The state to go back (or forward) to, with `current` kept for the
    // other direction; nothing when there is no step.
    std::optional<Snapshot> undo(Snapshot current);
    std::optional<Snapshot> redo(Snapshot current);

    // Opens an edit of `overlay`. Several may be open at once: a change goes
    // to the one begun last for its overlay.
    [[nodiscard]] EditGroup openEdit(const QUuid& overlay);

private:
    // Takes the latest step of `from`, keeping `current` on `to`.
    std::optional<Snapshot> step(QList<Snapshot>& from, QList<Snapshot>& to, Snapshot current);

    QList<Snapshot> m_undo;
    QList<Snapshot> m_redo;
    // Counts recorded steps, undos and redos: an edit whose step is not the
    // latest history change records a new one. Starts above 0, which marks
    // an edit without a step, so that the first edit of an editor that opens
    // with overlays (a recording's captions) records its step too.
    quint64 m_serial = 1;
    quint64 m_nextGroup = 1;
    // Shared with the tokens, which hold it weakly.
    std::shared_ptr<std::vector<EditGroup::Open>> m_groups;
};

using EditGroup = EditHistory::EditGroup;

}  // namespace mirelo
