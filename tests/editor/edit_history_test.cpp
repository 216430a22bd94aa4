// Undo steps, and the edits that make many changes of one overlay one step.
#include "editor/EditHistory.h"

#include <gtest/gtest.h>

using namespace mirelo;

namespace {

// Overlays whose content is one mosaic grain each, changed through the
// history as the editor model changes them.
class Overlays {
public:
    explicit Overlays(EditHistory& history) : m_history(history) {}

    QUuid add() {
        m_history.record(m_now);
        OverlayItem item;
        item.id = QUuid::createUuid();
        item.content = MosaicOverlay{QRectF(10, 10, 50, 50), 1};
        m_now.overlays.push_back(item);
        return item.id;
    }
    void change(const QUuid& id, double grain) {
        m_history.recordChangeOf(id, m_now);
        for (OverlayItem& item : m_now.overlays) {
            if (item.id == id) {
                item.content = MosaicOverlay{QRectF(10, 10, 50, 50), grain};
            }
        }
    }
    void undo() { m_now = m_history.undo(m_now).value_or(m_now); }
    void redo() { m_now = m_history.redo(m_now).value_or(m_now); }
    const OverlayList& now() const { return m_now.overlays; }

private:
    EditHistory& m_history;
    EditHistory::Snapshot m_now;
};

}  // namespace

TEST(EditHistory, EditsGroupTheirChangesIntoOneStepEach) {
    EditHistory history;
    Overlays overlays(history);
    const QUuid mosaic = overlays.add();
    const QUuid arrow = overlays.add();
    const OverlayList added = overlays.now();

    // Changes share one step, taken at the first of them; an edit without
    // changes records nothing.
    EditGroup session = history.openEdit(mosaic);
    EXPECT_EQ(history.undoCount(), 2);
    overlays.change(mosaic, 9);
    EXPECT_TRUE(session.isOpen());
    overlays.change(mosaic, 10);
    EXPECT_EQ(history.undoCount(), 3);

    // A drag of the same overlay during the session is a step of its own;
    // the session's next change then records a new step.
    {
        EditGroup drag = history.openEdit(mosaic);
        overlays.change(mosaic, 11);
        overlays.change(mosaic, 12);
    }
    EXPECT_EQ(history.undoCount(), 4);
    overlays.change(mosaic, 13);
    EXPECT_EQ(history.undoCount(), 5);

    // Undo ends the step's sharing: the next change is a new step and the
    // redo stack is emptied.
    overlays.undo();
    overlays.change(mosaic, 14);
    EXPECT_EQ(history.undoCount(), 5);
    EXPECT_EQ(history.redoCount(), 0);

    // A change to another overlay than the edit's is a step of its own, and
    // so is the next change of the edit after it.
    overlays.change(arrow, 4);
    EXPECT_EQ(history.undoCount(), 6);
    overlays.change(mosaic, 15);
    EXPECT_EQ(history.undoCount(), 7);
    session.close();
    EXPECT_FALSE(session.isOpen());

    // An edit moved on to another overlay starts afresh; a closed edit's
    // overlay records a step for every change.
    {
        EditGroup moving = history.openEdit(mosaic);
        moving = history.openEdit(arrow);
        overlays.change(mosaic, 8);
        overlays.change(mosaic, 7);
        EXPECT_EQ(history.undoCount(), 9);
    }
    for (int i = 0; i < 9; ++i) {
        overlays.undo();
    }
    EXPECT_EQ(overlays.now(), OverlayList());
    overlays.redo();
    overlays.redo();
    EXPECT_EQ(overlays.now(), added);
}

TEST(EditHistory, AnEditTokenMovesItsEditAndMayOutliveTheHistory) {
    EditGroup kept;
    EXPECT_FALSE(kept.isOpen());
    {
        EditHistory history;
        Overlays overlays(history);
        const QUuid id = overlays.add();
        EditGroup first = history.openEdit(id);
        kept = std::move(first);
        EXPECT_FALSE(first.isOpen());
        EXPECT_TRUE(kept.isOpen());
        overlays.change(id, 2);
        overlays.change(id, 3);
        EXPECT_EQ(history.undoCount(), 2);
        // The moved-from token closes nothing when it goes.
        first.close();
        overlays.change(id, 4);
        EXPECT_EQ(history.undoCount(), 2);
    }
    EXPECT_FALSE(kept.isOpen());
    kept.close();
}

TEST(EditHistory, KeepsTheLatestStepsUpToItsLimit) {
    EditHistory history;
    Overlays overlays(history);
    for (int i = 0; i <= EditHistory::kLimit; ++i) {
        overlays.add();
    }
    EXPECT_EQ(history.undoCount(), EditHistory::kLimit);
    while (history.canUndo()) {
        overlays.undo();
    }
    // The oldest step kept is the one after the first change.
    EXPECT_EQ(overlays.now().size(), 1);
    EXPECT_EQ(history.redoCount(), EditHistory::kLimit);
    EXPECT_FALSE(history.undo({}));
}
