// Key captions, click marks and pointer highlights in the editor: made from a recording's keys,
// clicks and pointer positions, kept on their frames by the frame-list operations, moved (marks,
// highlights) or kept upright (captions) by the geometry operations, shown and hidden as a
// whole; every change one undo step.
#include "editor/EditorState.h"
#include "overlay/InputOverlays.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

namespace mirelo {
namespace {

using InputOverlays::Click;
using InputOverlays::Key;
using InputOverlays::Pointer;

// Ten 40 x 30 frames of 0.1 s.
FrameList tenFrames() {
    FrameList frames;
    for (int i = 0; i < 10; ++i) {
        frames.push_back(EditorFrame::make(test::patternImage(40, 30, uint8_t(i * 20)), 0.1));
    }
    return frames;
}

QList<QUuid> idsOf(const FrameList& frames) {
    QList<QUuid> ids;
    for (const EditorFrame& frame : frames) {
        ids.push_back(frame.id);
    }
    return ids;
}

std::vector<double> delaysOf(const FrameList& frames) {
    std::vector<double> delays;
    for (const EditorFrame& frame : frames) {
        delays.push_back(frame.delay);
    }
    return delays;
}

QList<OverlayItem> made(const FrameList& frames, std::vector<Key> keys,
                        std::vector<Click> clicks = {}) {
    return InputOverlays::make(std::move(keys), std::move(clicks), idsOf(frames), delaysOf(frames),
                               QSizeF(40, 30));
}

const KeyCaptionOverlay& caption(const OverlayItem& item) {
    return std::get<KeyCaptionOverlay>(item.content);
}

const ClickMarkOverlay& mark(const OverlayItem& item) {
    return std::get<ClickMarkOverlay>(item.content);
}

TEST(InputOverlays, KeysJoinIntoCaptionsOnTheFramesAfterThem) {
    const FrameList frames = tenFrames();
    const QList<QUuid> ids = idsOf(frames);
    // "a" "b" typed together join into a word; Ctrl+S 0.4 s later joins with two spaces; the
    // Enter after a gap of more than 0.6 s starts a caption of its own, which ends the first.
    const QList<OverlayItem> items = made(frames, {{0.05, "a", true},
                                                   {0.1, "b", true},
                                                   {0.5, "Ctrl+S", false},
                                                   {0.65, "c", true},
                                                   {1.4, "Enter", false}});
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(caption(items[0]).text, "ab  Ctrl+S  c");
    // From the frame after the first key (frame 1 starts at 0.1 s) until the next caption.
    EXPECT_EQ(items[0].frames, ids.mid(1, 8));
    EXPECT_EQ(caption(items[1]).text, "Enter");
    // 1.4 s is past the last frame's start: the last frame.
    EXPECT_EQ(items[1].frames, ids.mid(9, 1));
    EXPECT_EQ(caption(items[1]).frameSize, QSizeF(40, 30));

    // A lone caption shows for 1 s after its key's frame.
    const QList<OverlayItem> lone = made(frames, {{0.2, "Ctrl+C", false}});
    ASSERT_EQ(lone.size(), 1);
    EXPECT_EQ(lone[0].frames, ids.mid(2, 8));
    EXPECT_EQ(InputOverlays::frameAt(0.2, delaysOf(frames)), 2);
    EXPECT_EQ(InputOverlays::frameAt(9.0, delaysOf(frames)), 9);
}

TEST(InputOverlays, ClicksMarkTheirFramesForAThirdOfASecond) {
    const FrameList frames = tenFrames();
    const QList<QUuid> ids = idsOf(frames);
    const QList<OverlayItem> items =
        made(frames, {}, {{0.31, QPointF(12, 7), false}, {0.0, QPointF(3, 4), true}});
    ASSERT_EQ(items.size(), 2);
    // In time order: the right click at the start first.
    EXPECT_TRUE(mark(items[0]).rightButton);
    EXPECT_EQ(items[0].frames, ids.mid(0, 3));
    EXPECT_EQ(mark(items[1]).center, QPointF(12, 7));
    EXPECT_EQ(items[1].frames, ids.mid(4, 3));
}

// A model with a caption on frames 2...9 and a mark at (10, 5) on frames 3...5.
class InputEditingTest : public ::testing::Test {
protected:
    InputEditingTest() {
        state.layRecordedInput(
            made(state.frames(), {{0.2, "Ctrl+C", false}}, {{0.3, QPointF(10, 5), false}}));
        ids = idsOf(state.frames());
    }

    const OverlayItem* find(bool captionKind) const {
        for (const OverlayItem& item : state.overlays()) {
            if (std::holds_alternative<KeyCaptionOverlay>(item.content) == captionKind) {
                return &item;
            }
        }
        return nullptr;
    }

    EditorState state{tenFrames()};
    QList<QUuid> ids;
};

TEST_F(InputEditingTest, RecordedInputIsNoUndoStep) {
    EXPECT_EQ(state.overlays().size(), 2);
    EXPECT_FALSE(state.canUndo());
    EXPECT_TRUE(state.hasInputOverlays(EditorState::InputKind::keyCaptions));
    EXPECT_TRUE(state.inputOverlaysShown(EditorState::InputKind::clickMarks));
}

TEST_F(InputEditingTest, DeletingFramesTakesOverlaysOffThemInOneStep) {
    state.setSelectedIDs({ids[3], ids[4]});
    state.deleteSelected();
    ASSERT_EQ(state.overlays().size(), 2);
    EXPECT_EQ(find(false)->frames, QList<QUuid>{ids[5]});
    EXPECT_EQ(find(true)->frames, (QList<QUuid>{ids[2], ids[5], ids[6], ids[7], ids[8], ids[9]}));
    EXPECT_EQ(state.undoCount(), 1);

    // Trimming after frame 2 (now index 2) leaves the mark on no frame: it goes.
    state.seek(2);
    state.deleteAfterCurrent();
    ASSERT_EQ(state.overlays().size(), 1);
    EXPECT_EQ(find(true)->frames, QList<QUuid>{ids[2]});
    // Trimming before it keeps the caption on the one frame left.
    state.seek(2);
    state.deleteBeforeCurrent();
    EXPECT_EQ(state.frameCount(), 1);
    EXPECT_EQ(state.overlays().size(), 1);
    state.seek(0);

    state.undo();
    state.undo();
    EXPECT_EQ(state.overlays().size(), 2);
    EXPECT_EQ(find(false)->frames, QList<QUuid>{ids[5]});
    state.undo();
    EXPECT_EQ(find(false)->frames, ids.mid(3, 3));
    state.redo();
    EXPECT_EQ(find(false)->frames, QList<QUuid>{ids[5]});
}

TEST_F(InputEditingTest, DelaysKeepOverlaysOnTheirFrames) {
    state.setSelectedIDs({ids[3]});
    state.setDelay(2.0);
    EXPECT_EQ(find(false)->frames, ids.mid(3, 3));
    EXPECT_EQ(state.overlays().size(), 2);
}

TEST_F(InputEditingTest, GeometryMovesMarksAndKeepsCaptionsOnTheFrame) {
    state.rotate(true);
    state.waitForGeometry();
    // (10, 5) in 40 x 30 turned clockwise: (30 - 5, 10).
    EXPECT_EQ(mark(*find(false)).center, QPointF(25, 10));
    EXPECT_EQ(caption(*find(true)).frameSize, QSizeF(30, 40));
    const QRectF box = find(true)->bounds();
    EXPECT_NEAR(box.center().x(), 15.0, 1e-9);  // still centred on the turned frame
    EXPECT_GT(box.center().y(), 20.0);          // and near its bottom

    state.flip(true);
    state.waitForGeometry();
    EXPECT_EQ(mark(*find(false)).center, QPointF(5, 10));
    EXPECT_EQ(caption(*find(true)).frameSize, QSizeF(30, 40));

    state.resize(QSizeF(60, 80));
    state.waitForGeometry();
    EXPECT_EQ(mark(*find(false)).center, QPointF(10, 20));
    EXPECT_EQ(caption(*find(true)).frameSize, QSizeF(60, 80));

    state.startCrop();
    state.setCropRect(QRectF(5, 10, 40, 50));
    state.applyCrop();
    state.waitForGeometry();
    EXPECT_EQ(mark(*find(false)).center, QPointF(5, 10));
    EXPECT_EQ(caption(*find(true)).frameSize, QSizeF(40, 50));
    // The frames they lie on stay theirs.
    EXPECT_EQ(find(false)->frames, ids.mid(3, 3));

    ASSERT_EQ(state.undoCount(), 4);
    for (int i = 0; i < 4; ++i) {
        state.undo();
    }
    EXPECT_EQ(mark(*find(false)).center, QPointF(10, 5));
    EXPECT_EQ(caption(*find(true)).frameSize, QSizeF(40, 30));
    state.redo();
    EXPECT_EQ(mark(*find(false)).center, QPointF(25, 10));
}

TEST_F(InputEditingTest, ShowingAndHidingIsOneStepPerKind) {
    state.setInputOverlaysShown(EditorState::InputKind::keyCaptions, false);
    EXPECT_FALSE(state.inputOverlaysShown(EditorState::InputKind::keyCaptions));
    EXPECT_TRUE(state.inputOverlaysShown(EditorState::InputKind::clickMarks));
    EXPECT_EQ(state.undoCount(), 1);
    // Nothing to change: no step.
    state.setInputOverlaysShown(EditorState::InputKind::keyCaptions, false);
    EXPECT_EQ(state.undoCount(), 1);
    state.undo();
    EXPECT_TRUE(state.inputOverlaysShown(EditorState::InputKind::keyCaptions));

    // One caption's text changed and then deleted, a step each.
    const QUuid id = find(true)->id;
    KeyCaptionOverlay changed = caption(*find(true));
    changed.text = "Ctrl+V";
    state.setOverlayContent(id, changed);
    EXPECT_EQ(caption(*find(true)).text, "Ctrl+V");
    state.deleteOverlay(id);
    EXPECT_EQ(find(true), nullptr);
    state.undo();
    EXPECT_EQ(caption(*find(true)).text, "Ctrl+V");
}

TEST_F(InputEditingTest, OverlaysOfFramesNotInTheEditorAreNotLaid) {
    EditorState other(tenFrames());
    other.layRecordedInput(state.overlays());  // frames of another editor
    EXPECT_TRUE(other.overlays().isEmpty());
}

const PointerHighlightOverlay& highlight(const OverlayItem& item) {
    return std::get<PointerHighlightOverlay>(item.content);
}

TEST(InputOverlays, HighlightsFollowThePointerFrameByFrame) {
    const FrameList frames = tenFrames();
    const QList<QUuid> ids = idsOf(frames);
    // Frames start at 0, 0.1, ... 0.9. No position before 0.15: frames 0 and 1 get none. The
    // pointer rests from 0.15 to 0.35 (frames 2 and 3), moves twice before frame 4 starts
    // (the later place counts), then lies far off the frame from 0.55 (frames 6 to 9).
    // Positions come in any order.
    const QList<OverlayItem> items =
        InputOverlays::pointerHighlights({{0.55, QPointF(500, 500)},
                                          {0.15, QPointF(10, 10)},
                                          {0.38, QPointF(20, 12)},
                                          {0.4, QPointF(30, 15)},
                                          {0.45, QPointF(30, 15)},
                                          {0.5, QPointF(2, 3)}},
                                         ids, delaysOf(frames), QSizeF(40, 30));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(highlight(items[0]).center, QPointF(10, 10));
    EXPECT_EQ(items[0].frames, ids.mid(2, 2));
    EXPECT_EQ(highlight(items[1]).center, QPointF(30, 15));
    EXPECT_EQ(items[1].frames, QList<QUuid>{ids[4]});
    EXPECT_EQ(highlight(items[2]).center, QPointF(2, 3));
    EXPECT_EQ(items[2].frames, QList<QUuid>{ids[5]});
    // Optional: made hidden, and every highlight is timed.
    for (const OverlayItem& item : items) {
        EXPECT_TRUE(highlight(item).hidden);
        EXPECT_TRUE(item.isTimed());
    }
    EXPECT_TRUE(
        InputOverlays::pointerHighlights({}, ids, delaysOf(frames), QSizeF(40, 30)).isEmpty());
}

// Frames 0-9 with the pointer at (10, 5) on frames 0-4 and at (30, 20) on frames 5-9.
class HighlightEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        const FrameList& frames = state.frames();
        ids = idsOf(frames);
        state.layRecordedInput(
            InputOverlays::pointerHighlights({{0.0, QPointF(10, 5)}, {0.5, QPointF(30, 20)}}, ids,
                                             delaysOf(frames), QSizeF(40, 30)));
    }

    std::vector<PointerHighlightOverlay> highlights() const {
        std::vector<PointerHighlightOverlay> found;
        for (const OverlayItem& item : state.overlays()) {
            found.push_back(highlight(item));
        }
        return found;
    }

    EditorState state{tenFrames()};
    QList<QUuid> ids;
};

TEST_F(HighlightEditingTest, ShownAsAWholeInOneStep) {
    constexpr auto kind = EditorState::InputKind::pointerHighlights;
    ASSERT_EQ(state.overlays().size(), 2);
    EXPECT_TRUE(state.hasInputOverlays(kind));
    EXPECT_FALSE(state.inputOverlaysShown(kind));
    EXPECT_FALSE(state.hasInputOverlays(EditorState::InputKind::clickMarks));
    state.setInputOverlaysShown(kind, true);
    EXPECT_TRUE(state.inputOverlaysShown(kind));
    for (const PointerHighlightOverlay& h : highlights()) {
        EXPECT_FALSE(h.hidden);
    }
    EXPECT_EQ(state.undoCount(), 1);
    state.undo();
    EXPECT_FALSE(state.inputOverlaysShown(kind));
}

TEST_F(HighlightEditingTest, FollowFrameDeletionAndGeometry) {
    // Deleting frames 0-4 leaves only the second place, on the frames that stay.
    state.setSelectedIDs(QSet<QUuid>(ids.cbegin(), ids.cbegin() + 5));
    state.deleteSelected();
    ASSERT_EQ(state.overlays().size(), 1);
    EXPECT_EQ(state.overlays().front().frames, ids.mid(5));

    state.rotate(false);
    state.waitForGeometry();
    // (30, 20) in 40 x 30 turned counter-clockwise: (20, 40 - 30).
    EXPECT_EQ(highlights().front().center, QPointF(20, 10));
    state.flip(false);
    state.waitForGeometry();
    EXPECT_EQ(highlights().front().center, QPointF(20, 30));
    state.resize(QSizeF(15, 20));
    state.waitForGeometry();
    EXPECT_EQ(highlights().front().center, QPointF(10, 15));
    const double radius = highlights().front().radius;
    state.startCrop();
    state.setCropRect(QRectF(4, 5, 10, 12));
    state.applyCrop();
    state.waitForGeometry();
    EXPECT_EQ(highlights().front().center, QPointF(6, 10));
    EXPECT_EQ(highlights().front().radius, radius);

    for (int i = 0; i < 5; ++i) {
        state.undo();
    }
    EXPECT_EQ(state.overlays().size(), 2);
    EXPECT_EQ(highlights().front().center, QPointF(10, 5));
}

}  // namespace
}  // namespace mirelo
