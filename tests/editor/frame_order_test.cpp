#include "editor/EditorState.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

using namespace mirelo;

namespace {

// Frame i is red i, shown for 0.1 * (i + 1) seconds.
FrameList makeFrames(int count) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(
            EditorFrame::make(test::solidImage(4, 3, QColor(i * 10, 0, 0)), 0.1 * (i + 1)));
    }
    return frames;
}

// The frames as their red values (the index they were made with).
QList<int> order(const EditorState& state) {
    QList<int> out;
    for (const EditorFrame& frame : state.frames()) {
        out.push_back(qRed(frame.image.qimage().pixel(0, 0)) / 10);
    }
    return out;
}

QList<double> delays(const EditorState& state) {
    QList<double> out;
    for (const EditorFrame& frame : state.frames()) {
        out.push_back(frame.delay);
    }
    return out;
}

void selectIndices(EditorState& state, std::initializer_list<int> indices) {
    QSet<QUuid> ids;
    for (int i : indices) {
        ids.insert(state.frames()[i].id);
    }
    state.setSelectedIDs(ids);
}

void addOverlay(EditorState& state) {
    state.addText();
    ASSERT_EQ(state.overlays().size(), 1);
}

}  // namespace

TEST(FrameOrder, ReverseTakesEveryFrameWithOneSelectedAndUndoes) {
    EditorState state(makeFrames(4));
    addOverlay(state);
    const OverlayList overlays = state.overlays();
    selectIndices(state, {1});
    const int steps = state.undoCount();
    state.reverseFrames();
    EXPECT_EQ(order(state), (QList<int>{3, 2, 1, 0}));
    // Each frame keeps its own delay.
    EXPECT_EQ(delays(state), (QList<double>{0.4, 0.30000000000000004, 0.2, 0.1}));
    EXPECT_EQ(state.undoCount(), steps + 1);
    EXPECT_EQ(state.overlays(), overlays);
    state.undo();
    EXPECT_EQ(order(state), (QList<int>{0, 1, 2, 3}));
    state.redo();
    EXPECT_EQ(order(state), (QList<int>{3, 2, 1, 0}));
    EXPECT_EQ(state.overlays(), overlays);
}

TEST(FrameOrder, ReverseOfASelectionKeepsTheOtherFramesInPlace) {
    EditorState state(makeFrames(5));
    selectIndices(state, {0, 2, 4});
    state.reverseFrames();
    EXPECT_EQ(order(state), (QList<int>{4, 1, 2, 3, 0}));
    // A single frame alone gives nothing to reverse.
    EditorState one(makeFrames(1));
    one.reverseFrames();
    EXPECT_FALSE(one.canUndo());
}

TEST(FrameOrder, PingPongAppendsTheInnerFramesBackwards) {
    EditorState state(makeFrames(4));
    addOverlay(state);
    const OverlayList overlays = state.overlays();
    const int steps = state.undoCount();
    state.pingPongFrames();
    EXPECT_EQ(order(state), (QList<int>{0, 1, 2, 3, 2, 1}));
    EXPECT_EQ(state.undoCount(), steps + 1);
    EXPECT_EQ(state.overlays(), overlays);
    // The copies are new frames sharing the images.
    QSet<QUuid> ids;
    for (const EditorFrame& frame : state.frames()) {
        ids.insert(frame.id);
    }
    EXPECT_EQ(ids.size(), 6);
    EXPECT_TRUE(state.frames()[4].image.sharesPixelsWith(state.frames()[2].image));
    EXPECT_DOUBLE_EQ(state.frames()[5].delay, 0.2);
    state.undo();
    EXPECT_EQ(order(state), (QList<int>{0, 1, 2, 3}));
    state.redo();
    EXPECT_EQ(order(state).size(), 6);
}

TEST(FrameOrder, PingPongOfASelectionGoesAfterItsLastFrame) {
    EditorState state(makeFrames(6));
    selectIndices(state, {1, 2, 3});
    state.pingPongFrames();
    EXPECT_EQ(order(state), (QList<int>{0, 1, 2, 3, 2, 4, 5}));
    // Two frames have no inner frame to repeat.
    EditorState two(makeFrames(2));
    two.pingPongFrames();
    EXPECT_EQ(order(two), (QList<int>{0, 1}));
    EXPECT_FALSE(two.canUndo());
}

TEST(FrameOrder, SpeedDividesDelaysWithinItsRange) {
    EditorState state(makeFrames(3));
    addOverlay(state);
    const OverlayList overlays = state.overlays();
    const int steps = state.undoCount();
    state.setSpeed(200);
    EXPECT_EQ(delays(state), (QList<double>{0.05, 0.1, 0.15000000000000002}));
    EXPECT_EQ(state.undoCount(), steps + 1);
    EXPECT_EQ(state.overlays(), overlays);
    // Out of range: nothing.
    state.setSpeed(5);
    state.setSpeed(1001);
    state.setSpeed(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(state.undoCount(), steps + 1);
    // Never below the shortest delay.
    state.setSpeed(1000);
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, EditorState::kMinimumDelay);
    state.undo();
    state.undo();
    EXPECT_EQ(delays(state), (QList<double>{0.1, 0.2, 0.30000000000000004}));

    // Only the selection when several frames are selected; slower at 50 %.
    selectIndices(state, {0, 2});
    state.setSpeed(50);
    EXPECT_EQ(delays(state), (QList<double>{0.2, 0.2, 0.6000000000000001}));
}

TEST(FrameOrder, InsertGoesAfterTheCurrentFrameAsOneStep) {
    EditorState state(makeFrames(3));
    state.seek(1);
    FrameList extra;
    extra.push_back(EditorFrame::make(test::solidImage(4, 3, QColor(70, 0, 0)), 0.5));
    extra.push_back(EditorFrame::make(test::solidImage(4, 3, QColor(80, 0, 0)), 0.5));
    state.insertFrames(extra);
    EXPECT_EQ(order(state), (QList<int>{0, 1, 7, 8, 2}));
    EXPECT_EQ(state.currentIndex(), 2);
    EXPECT_EQ(state.selectedIDs().size(), 2);
    EXPECT_FALSE(state.selectedIDs().contains(extra[0].id));  // fresh ids
    state.insertFrames(extra);
    EXPECT_EQ(state.frameCount(), 7);
    state.undo();
    state.undo();
    EXPECT_EQ(order(state), (QList<int>{0, 1, 2}));
    EXPECT_TRUE(state.selectedIDs().isEmpty());
}
