#include "editor/EditorState.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cmath>
#include <limits>

using namespace mirelo;

namespace {

FrameList makeFrames(int count, QSize size = QSize(8, 6), double delay = 0.1) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(EditorFrame::make(
            test::solidImage(size.width(), size.height(), QColor(i % 256, 0, 0)), delay));
    }
    return frames;
}

QList<QUuid> ids(const FrameList& frames) {
    QList<QUuid> out;
    for (const auto& f : frames)
        out.push_back(f.id);
    return out;
}

}  // namespace

TEST(EditorFrameTiming, HandOverGivesFreshIdsAndOneOverFps) {
    const std::vector<Image> images(8, test::solidImage(4, 4, Qt::red));
    const FrameList at24 = makeEditorFrames(images, 24);
    ASSERT_EQ(at24.size(), 8);
    double total = 0;
    QSet<QUuid> unique;
    for (const auto& f : at24) {
        EXPECT_DOUBLE_EQ(f.delay, 1.0 / 24.0);
        EXPECT_TRUE(f.image.sharesPixelsWith(images[0]));
        unique.insert(f.id);
        total += f.delay;
    }
    EXPECT_EQ(unique.size(), 8);
    EXPECT_NEAR(total, 1.0 / 3.0, 1e-12);
    EXPECT_DOUBLE_EQ(makeEditorFrames(images, 10).front().delay, 0.1);
    // A nonsensical rate never gives an infinite or negative delay.
    EXPECT_DOUBLE_EQ(frameDelay(0), 1.0);
    EXPECT_DOUBLE_EQ(frameDelay(-5), 1.0);
    EXPECT_TRUE(makeEditorFrames({Image()}, 15).isEmpty());
}

TEST(EditorState, EmptyModelHasDefinedValues) {
    EditorState state;
    EXPECT_EQ(state.imageSize(), QSizeF(0, 0));
    EXPECT_EQ(state.totalDuration(), 0.0);
    EXPECT_EQ(state.currentIndex(), 0);
    state.seek(5);
    EXPECT_EQ(state.currentIndex(), 0);
    // Every operation is a silent no-op on an empty list.
    state.setSelectedIDs({QUuid::createUuid()});
    state.deleteSelected();
    state.deleteBeforeCurrent();
    state.deleteAfterCurrent();
    state.undo();
    state.redo();
    state.play();
    EXPECT_FALSE(state.isPlaying());
    EXPECT_FALSE(state.canUndo());
}

TEST(EditorState, SeekClampsAndLeavesSelectionAlone) {
    EditorState state(makeFrames(10));
    const QSet<QUuid> selection{state.frames()[2].id};
    state.setSelectedIDs(selection);
    state.seek(-3);
    EXPECT_EQ(state.currentIndex(), 0);
    state.seek(42);
    EXPECT_EQ(state.currentIndex(), 9);
    state.seek(4);
    EXPECT_EQ(state.currentIndex(), 4);
    EXPECT_EQ(state.selectedIDs(), selection);
}

TEST(EditorState, DurationAndSizeComeFromTheFrames) {
    FrameList frames = makeFrames(3, QSize(640, 360));
    frames[2].delay = 0.25;
    frames[1].image = test::solidImage(10, 10, Qt::blue);  // only the first counts
    EditorState state(frames);
    EXPECT_NEAR(state.totalDuration(), 0.45, 1e-12);
    EXPECT_EQ(state.imageSize(), QSizeF(640, 360));
}

TEST(EditorState, HistoryKeepsThirtyStepsAndNewEditsClearRedo) {
    EditorState state(makeFrames(3));
    state.setSelectedIDs({state.frames()[0].id});
    for (int i = 0; i < 31; ++i) {
        state.setDelay(0.1 + i);
    }
    EXPECT_EQ(state.undoCount(), 30);
    int undone = 0;
    while (state.canUndo()) {
        state.undo();
        ++undone;
    }
    EXPECT_EQ(undone, 30);
    // The oldest surviving state is the one after the first edit.
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, 0.1);
    const auto before = ids(state.frames());
    state.undo();  // a 31st undo changes nothing
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, 0.1);
    EXPECT_EQ(state.redoCount(), 30);

    state.redo();
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, 1.1);
    state.setDelay(3);  // a new edit drops everything undone
    EXPECT_FALSE(state.canRedo());
    state.redo();
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, 3);
    EXPECT_LE(state.undoCount() + state.redoCount(), 30);
    EXPECT_EQ(ids(state.frames()), before);
}

TEST(EditorState, UndoRestoresListsClearsOverlaySelectionAndClampsIndex) {
    EditorState state(makeFrames(5));
    const FrameList original = state.frames();
    state.seek(4);
    state.setSelectedIDs({original[4].id, original[1].id});
    state.deleteSelected();  // leaves 0, 2, 3
    EXPECT_EQ(state.frameCount(), 3);
    EXPECT_EQ(state.currentIndex(), 2);
    EXPECT_TRUE(state.selectedIDs().isEmpty());

    state.setSelectedOverlayID(QUuid::createUuid());
    state.undo();
    EXPECT_EQ(ids(state.frames()), ids(original));
    EXPECT_TRUE(state.selectedOverlayID().isNull());

    state.seek(4);
    state.setSelectedIDs({original[0].id, original[4].id});
    state.redo();
    EXPECT_EQ(state.frameCount(), 3);
    EXPECT_EQ(state.currentIndex(), 2);  // clamped to the restored list
    EXPECT_EQ(state.selectedIDs(), QSet<QUuid>{original[0].id});
}

TEST(EditorState, DeleteSelectedRules) {
    {
        EditorState state(makeFrames(1));
        state.setSelectedIDs({state.frames()[0].id});
        state.deleteSelected();  // one frame: nothing
        EXPECT_EQ(state.frameCount(), 1);
        EXPECT_FALSE(state.canUndo());
    }
    {
        EditorState state(makeFrames(5));
        state.deleteSelected();  // nothing selected: nothing
        EXPECT_FALSE(state.canUndo());
    }
    {
        EditorState state(makeFrames(5));
        const auto original = ids(state.frames());
        state.setSelectedIDs({original[1], original[3]});
        state.deleteSelected();
        EXPECT_EQ(ids(state.frames()), (QList<QUuid>{original[0], original[2], original[4]}));
        EXPECT_EQ(state.undoCount(), 1);
    }
    {
        // Selecting every frame keeps them all but still records one step.
        EditorState state(makeFrames(5));
        const auto original = ids(state.frames());
        state.setSelectedIDs(QSet<QUuid>(original.begin(), original.end()));
        state.undo();
        state.deleteSelected();
        EXPECT_EQ(ids(state.frames()), original);
        EXPECT_EQ(state.undoCount(), 1);
        EXPECT_FALSE(state.canRedo());
        state.undo();
        EXPECT_EQ(ids(state.frames()), original);
    }
}

TEST(EditorState, TrimBeforeAndAfterCurrent) {
    {
        EditorState state(makeFrames(10));
        state.deleteBeforeCurrent();  // at index 0: nothing
        state.seek(9);
        state.deleteAfterCurrent();  // at the last index: nothing
        EXPECT_FALSE(state.canUndo());
        EXPECT_EQ(state.frameCount(), 10);
    }
    {
        EditorState state(makeFrames(10));
        const auto original = ids(state.frames());
        state.seek(6);
        state.setSelectedIDs({original[2], original[8]});
        state.deleteBeforeCurrent();
        EXPECT_EQ(ids(state.frames()), original.mid(6));
        EXPECT_EQ(state.currentIndex(), 0);
        EXPECT_EQ(state.selectedIDs(), QSet<QUuid>{original[8]});
        EXPECT_EQ(state.undoCount(), 1);
    }
    {
        EditorState state(makeFrames(10));
        const auto original = ids(state.frames());
        state.seek(6);
        state.setSelectedIDs({original[2], original[8]});
        state.deleteAfterCurrent();
        EXPECT_EQ(ids(state.frames()), original.mid(0, 7));
        EXPECT_EQ(state.currentIndex(), 6);
        EXPECT_EQ(state.selectedIDs(), QSet<QUuid>{original[2]});
    }
}

TEST(EditorState, SetDelayClampsRejectsInfinityAndTouchesOnlySelected) {
    EditorState state(makeFrames(3, QSize(4, 4), 0.1));
    state.setDelay(0.5);  // nothing selected
    EXPECT_FALSE(state.canUndo());
    state.setSelectedIDs({state.frames()[1].id});

    state.setDelay(std::numeric_limits<double>::infinity());
    state.setDelay(-std::numeric_limits<double>::infinity());
    EXPECT_FALSE(state.canUndo());

    state.setDelay(0.01);
    EXPECT_DOUBLE_EQ(state.frames()[1].delay, 0.02);
    state.setDelay(-1);
    EXPECT_DOUBLE_EQ(state.frames()[1].delay, 0.02);
    state.setDelay(std::nan(""));
    EXPECT_DOUBLE_EQ(state.frames()[1].delay, 0.02);
    state.setDelay(5);
    EXPECT_DOUBLE_EQ(state.frames()[1].delay, 5);
    EXPECT_DOUBLE_EQ(state.frames()[0].delay, 0.1);
    EXPECT_DOUBLE_EQ(state.frames()[2].delay, 0.1);
    EXPECT_EQ(state.undoCount(), 4);
}

TEST(EditorState, SnapshotsShareImagesAndTheFrameList) {
    EditorState state(makeFrames(4));
    const Image first = state.frames()[0].image;
    state.setSelectedIDs({state.frames()[3].id});
    state.deleteSelected();
    state.undo();
    // The restored frame is the very same image, not a copy.
    EXPECT_TRUE(state.frames()[0].image.sharesPixelsWith(first));
    EXPECT_EQ(state.frames()[0].image.qimage().constBits(), first.qimage().constBits());
}

TEST(EditorState, SignalsFireOnRealChangesOnly) {
    EditorState state(makeFrames(3));
    QSignalSpy index(&state, &EditorState::currentIndexChanged);
    QSignalSpy frames(&state, &EditorState::framesChanged);
    QSignalSpy selection(&state, &EditorState::selectedIDsChanged);
    QSignalSpy history(&state, &EditorState::historyChanged);
    state.seek(0);
    EXPECT_EQ(index.count(), 0);
    state.seek(2);
    EXPECT_EQ(index.count(), 1);
    state.setSelectedIDs({state.frames()[0].id});
    state.setSelectedIDs({state.frames()[0].id});
    EXPECT_EQ(selection.count(), 1);
    state.setDelay(0.3);
    EXPECT_EQ(frames.count(), 1);
    EXPECT_EQ(history.count(), 1);
}
