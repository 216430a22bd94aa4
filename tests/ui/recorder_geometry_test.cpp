#include "ui/recorder/RecorderGeometry.h"
#include "ui/recorder/ScreenFit.h"

#include <gtest/gtest.h>

using namespace mirelo::recorder;

TEST(RecorderGeometry, CaptureRegionLeavesOutTheHeaderUnlessItSitsInsideAndTheOutline) {
    const QRect frame(100, 200, 964, 586);
    EXPECT_EQ(frameSize(QSize(960, 540)), frame.size());
    EXPECT_EQ(captureRegion(frame, false), QRect(102, 244, 960, 540));
    EXPECT_EQ(captureRegion(frame, true), QRect(102, 202, 960, 582));
    EXPECT_EQ(headerStrip(frame), QRect(100, 200, 964, 44));
}

TEST(RecorderGeometry, PresetKeepsTheTopAndLeftEdges) {
    // The top edge stays put, the bottom moves: the frame grows downwards.
    const QRect frame(30, 180, 964, 586);
    const QRect preset = presetFrame(frame, QSize(1280, 720));
    EXPECT_EQ(preset, QRect(30, 180, 1284, 766));
    EXPECT_EQ(captureRegion(preset, false).size(), QSize(1280, 720));
    EXPECT_EQ(sizePresets(), (QList<QSize>{{640, 360}, {960, 540}, {1280, 720}, {1920, 1080}}));
}

TEST(RecorderGeometry, SnapPutsTheHeaderAboveWhenThereIsRoom) {
    const QRect target(200, 300, 640, 400);
    const SnapResult above = snapFrame(target, 24);
    EXPECT_FALSE(above.headerInside);
    EXPECT_EQ(above.frame, QRect(198, 256, 644, 446));
    EXPECT_EQ(captureRegion(above.frame, above.headerInside), target);

    // Exactly 44 pixels of room is enough; 43 is not.
    EXPECT_FALSE(snapFrame(QRect(0, 68, 300, 300), 24).headerInside);
    const SnapResult inside = snapFrame(QRect(0, 67, 300, 300), 24);
    EXPECT_TRUE(inside.headerInside);
    EXPECT_EQ(inside.frame, QRect(-2, 65, 304, 304));
    EXPECT_EQ(captureRegion(inside.frame, inside.headerInside), QRect(0, 67, 300, 300));

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
    // Header above: the window keeps its frame, the outline already lies outside.
    const QRect frame(100, 100, 644, 406);
    for (bool mayMove : {true, false}) {
        const RecordingLayout normal = recordingLayout(frame, false, screen, mayMove);
        EXPECT_EQ(normal.capture, QRect(102, 144, 640, 360));
        EXPECT_EQ(normal.header, QRect(100, 100, 644, 44));
        EXPECT_EQ(normal.window, frame);
        EXPECT_FALSE(normal.header.intersects(normal.capture));
    }

    // Header inside: it moves above the capture when it fits...
    const RecordingLayout movedUp = recordingLayout(QRect(98, 98, 644, 364), true, screen);
    EXPECT_EQ(movedUp.capture, QRect(100, 100, 640, 360));
    EXPECT_EQ(movedUp.header, QRect(100, 56, 640, 44));
    EXPECT_FALSE(movedUp.header.intersects(movedUp.capture));
    EXPECT_TRUE(movedUp.window.contains(movedUp.header));

    // ...below it when only that fits...
    const RecordingLayout movedDown = recordingLayout(QRect(-2, 8, 644, 364), true, screen);
    EXPECT_EQ(movedDown.header, QRect(0, 370, 640, 44));
    EXPECT_FALSE(movedDown.header.intersects(movedDown.capture));

    // ...and nowhere when the capture fills the screen's height, or when the window may not
    // change (the compositor would place it anew): the window keeps its frame.
    const RecordingLayout none = recordingLayout(QRect(-2, -2, 804, 1084), true, screen);
    EXPECT_TRUE(none.header.isNull());
    EXPECT_EQ(none.window, QRect(-2, -2, 804, 1084));
    const RecordingLayout kept = recordingLayout(QRect(98, 98, 644, 364), true, screen, false);
    EXPECT_TRUE(kept.header.isNull());
    EXPECT_EQ(kept.window, QRect(98, 98, 644, 364));
    EXPECT_EQ(kept.capture, QRect(100, 100, 640, 360));
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

TEST(ScreenFit, PresetsLargerThanTheScreenAreReducedAndTheFrameMovesOntoIt) {
    const QRect screen(0, 0, 1920, 1080);
    // Fits: the top-left corner stays.
    FittedFrame fit = fitToScreen(QRect(30, 180, 960, 584), QSize(1280, 720), screen, screen);
    EXPECT_EQ(fit.frame, QRect(QPoint(30, 180), frameSize(QSize(1280, 720))));
    EXPECT_FALSE(fit.reduced);
    EXPECT_FALSE(fit.headerInside);
    // Too far down and right: moved up and left just enough.
    fit = fitToScreen(QRect(1000, 700, 960, 584), QSize(1280, 720), screen, screen);
    EXPECT_EQ(fit.frame, QRect(QPoint(636, 314), frameSize(QSize(1280, 720))));
    // The whole screen: the region is the screen and the header lies inside it.
    fit = fitToScreen(QRect(400, 300, 960, 584), QSize(1920, 1080), screen, screen);
    EXPECT_EQ(captureRegion(fit.frame, fit.headerInside), screen);
    EXPECT_EQ(fit.capture, QSize(1920, 1080));
    EXPECT_FALSE(fit.reduced);
    EXPECT_TRUE(fit.headerInside);
    // Larger than a smaller screen: reduced to it, on it.
    const QRect laptop(1920, 0, 1366, 768);
    fit = fitToScreen(QRect(2000, 100, 960, 584), QSize(1920, 1080), laptop, laptop);
    EXPECT_EQ(fit.capture, QSize(1366, 768));
    EXPECT_TRUE(fit.reduced);
    EXPECT_TRUE(fit.headerInside);
    EXPECT_EQ(captureRegion(fit.frame, fit.headerInside), laptop);
    // Panels leave less room: the frame keeps to the free part while it fits there.
    const QRect free(0, 32, 1920, 1048);
    fit = fitToScreen(QRect(100, 0, 960, 584), QSize(960, 540), screen, free);
    EXPECT_EQ(fit.frame, QRect(QPoint(100, 32), frameSize(QSize(960, 540))));
    fit = fitToScreen(QRect(100, 0, 960, 584), QSize(1280, 1020), screen, free);
    EXPECT_FALSE(fit.reduced);
    // only the whole screen holds it
    EXPECT_EQ(captureRegion(fit.frame, fit.headerInside),
              QRect(QPoint(102, 44), QSize(1280, 1020)));
}

TEST(ScreenFit, OnlyThePartOnTheDesktopIsRecorded) {
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_EQ(screenOf(QRect(1800, 100, 400, 300), screens), screens[1]);
    // Across two monitors: whole.
    EXPECT_EQ(recordablePart(QRect(1800, 100, 400, 300), screens), QRect(1800, 100, 400, 300));
    // Below the smaller monitor's edge: the part on the region's screen.
    EXPECT_EQ(recordablePart(QRect(2000, 900, 400, 300), screens), QRect(2000, 900, 400, 124));
    // Dragged past the desktop's edge: what remains on the screen.
    EXPECT_EQ(recordablePart(QRect(-300, 900, 640, 360), screens), QRect(0, 900, 340, 180));
    EXPECT_EQ(recordablePart(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}
