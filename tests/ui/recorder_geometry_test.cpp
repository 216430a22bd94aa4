#include "ui/recorder/RecorderGeometry.h"

#include <gtest/gtest.h>

using namespace mirelo::recorder;

TEST(RecorderGeometry, CaptureRegionLeavesOutTheHeaderUnlessItSitsInside) {
    const QRect frame(100, 200, 960, 584);
    EXPECT_EQ(captureRegion(frame, false), QRect(100, 244, 960, 540));
    EXPECT_EQ(captureRegion(frame, true), frame);
    EXPECT_EQ(headerStrip(frame), QRect(100, 200, 960, 44));
}

TEST(RecorderGeometry, PresetKeepsTheTopAndLeftEdges) {
    // The top edge stays put, the bottom moves: the frame grows downwards.
    const QRect frame(30, 180, 960, 584);
    const QRect preset = presetFrame(frame, QSize(1280, 720));
    EXPECT_EQ(preset, QRect(30, 180, 1280, 764));
    EXPECT_EQ(captureRegion(preset, false).size(), QSize(1280, 720));
    EXPECT_EQ(sizePresets(), (QList<QSize>{{640, 360}, {960, 540}, {1280, 720}, {1920, 1080}}));
}

TEST(RecorderGeometry, SnapPutsTheHeaderAboveWhenThereIsRoom) {
    const QRect target(200, 300, 640, 400);
    const SnapResult above = snapFrame(target, 24);
    EXPECT_FALSE(above.headerInside);
    EXPECT_EQ(above.frame, QRect(200, 256, 640, 444));
    EXPECT_EQ(captureRegion(above.frame, above.headerInside), target);

    // Exactly 44 pixels of room is enough; 43 is not.
    EXPECT_FALSE(snapFrame(QRect(0, 68, 300, 300), 24).headerInside);
    const SnapResult inside = snapFrame(QRect(0, 67, 300, 300), 24);
    EXPECT_TRUE(inside.headerInside);
    EXPECT_EQ(inside.frame, QRect(0, 67, 300, 300));
    EXPECT_EQ(captureRegion(inside.frame, inside.headerInside), inside.frame);

    // With no screen there is always room.
    EXPECT_FALSE(snapFrame(QRect(0, -5000, 300, 300), std::nullopt).headerInside);
}

TEST(RecorderGeometry, HandlesClampAtTheMinimumAndKeepTheOppositeEdges) {
    const QRect start(100, 100, 400, 300);
    // The leading handle dragged 300 to the right stops at the minimum, right edge fixed.
    const QRect leading = resizedFrame(start, Edge::Leading, QPoint(300, 0));
    EXPECT_EQ(leading.width(), kMinimumSize.width());
    EXPECT_EQ(leading.right(), start.right());
    EXPECT_EQ(leading.height(), 300);

    const QRect trailing = resizedFrame(start, Edge::Trailing, QPoint(-500, 40));
    EXPECT_EQ(trailing, QRect(100, 100, kMinimumSize.width(), 300));

    // The top handle moves the top edge; the bottom edge stays.
    const QRect top = resizedFrame(start, Edge::Top, QPoint(0, -50));
    EXPECT_EQ(top, QRect(100, 50, 400, 350));
    const QRect topClamped = resizedFrame(start, Edge::Top, QPoint(0, 200));
    EXPECT_EQ(topClamped.height(), 204);
    EXPECT_EQ(topClamped.bottom(), start.bottom());

    const QRect bottom = resizedFrame(start, Edge::Bottom, QPoint(0, -200));
    EXPECT_EQ(bottom, QRect(100, 100, 400, 204));

    // A corner resizes both of its sides at once.
    const QRect corner = resizedFrame(start, Edge::Top | Edge::Leading, QPoint(-20, -30));
    EXPECT_EQ(corner, QRect(80, 70, 420, 330));
    const QRect other = resizedFrame(start, Edge::Bottom | Edge::Trailing, QPoint(15, 25));
    EXPECT_EQ(other, QRect(100, 100, 415, 325));
}

TEST(RecorderGeometry, HandlesSitOnTheEdgesWithCornersOnTop) {
    const auto handles = handlePlacements(QSize(400, 300));
    ASSERT_EQ(handles.size(), 8);
    EXPECT_EQ(handles[0].rect, QRect(0, 0, 400, 10));
    EXPECT_EQ(handles[1].rect, QRect(0, 290, 400, 10));
    EXPECT_EQ(handles[2].rect, QRect(0, 0, 10, 300));
    EXPECT_EQ(handles[3].rect, QRect(390, 0, 10, 300));
    EXPECT_EQ(handles[7].rect, QRect(382, 282, 18, 18));
    EXPECT_EQ(handles[7].edges, Edge::Bottom | Edge::Trailing);
}

TEST(RecorderGeometry, RecordingLayoutKeepsEverythingOutsideTheCapture) {
    const QRect screen(0, 0, 1920, 1080);
    // Header above: it stays where it was; the outline ring goes outside.
    const QRect frame(100, 100, 640, 404);
    const RecordingLayout normal = recordingLayout(frame, false, screen);
    EXPECT_EQ(normal.capture, QRect(100, 144, 640, 360));
    EXPECT_EQ(normal.header, QRect(100, 100, 640, 44));
    EXPECT_EQ(normal.window, QRect(98, 100, 644, 406));
    EXPECT_FALSE(normal.header.intersects(normal.capture));

    // Header inside: it moves above the capture when it fits...
    const RecordingLayout movedUp = recordingLayout(QRect(100, 100, 640, 360), true, screen);
    EXPECT_EQ(movedUp.capture, QRect(100, 100, 640, 360));
    EXPECT_EQ(movedUp.header, QRect(100, 56, 640, 44));
    EXPECT_FALSE(movedUp.header.intersects(movedUp.capture));
    EXPECT_TRUE(movedUp.window.contains(movedUp.header));

    // ...below it when only that fits...
    const RecordingLayout movedDown = recordingLayout(QRect(0, 10, 640, 360), true, screen);
    EXPECT_EQ(movedDown.header, QRect(0, 370, 640, 44));
    EXPECT_FALSE(movedDown.header.intersects(movedDown.capture));

    // ...and nowhere when the capture fills the screen's height.
    const RecordingLayout none = recordingLayout(QRect(0, 0, 800, 1080), true, screen);
    EXPECT_TRUE(none.header.isNull());
    EXPECT_EQ(none.window, QRect(-2, -2, 804, 1084));
}

TEST(RecorderGeometry, OurWindowsGoToTheNearestPlaceOutsideTheRecording) {
    const QRect screen(0, 0, 1920, 1080);
    const QRect avoid(400, 256, 644, 448);  // header and outline included
    // Outside already: it stays.
    EXPECT_EQ(placeOutside(QRect(1100, 100, 300, 200), avoid, screen), QPoint(1100, 100));
    // A window over the recording goes below it, above it or to a side,
    // whichever is nearest.
    EXPECT_EQ(placeOutside(QRect(420, 600, 200, 150), avoid, screen), QPoint(420, 704));
    EXPECT_EQ(placeOutside(QRect(900, 300, 200, 400), avoid, screen), QPoint(1044, 300));
    EXPECT_EQ(placeOutside(QRect(420, 260, 200, 150), avoid, screen), QPoint(420, 106));
    // A tall window near the left edge goes left, sliding into the screen.
    EXPECT_EQ(placeOutside(QRect(450, 500, 300, 700), avoid, screen), QPoint(100, 380));
    // Nowhere to go beside a recording of the whole screen.
    EXPECT_EQ(placeOutside(QRect(10, 10, 300, 200), screen, screen), std::nullopt);
}
