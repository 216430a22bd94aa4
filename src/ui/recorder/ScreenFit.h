#pragma once

#include <QList>
#include <QRect>
#include <QRegion>
#include <QSize>

// How the recording frame is kept on the screen: a size preset larger than
// the screen is reduced to fit, the frame is moved wholly onto one screen, and
// the part of a capture area dragged off its screen is not recorded. Plain
// functions of rectangles in Qt's global space (origin top-left, y down).
namespace mirelo::recorder {

struct FittedFrame {
    QRect frame;                // the window's new frame
    QSize capture;              // the capture area's size within it
    bool reduced = false;       // smaller than asked for, to fit the screen
    bool headerInside = false;  // the region takes the screen's whole height
};

// The frame for a capture area of `size` with its top-left corner where
// `frame` has it, fitted onto one screen: `screen` is that screen's whole
// area and `available` the part of it that panels leave free. The capture
// area is at most the screen's size; the frame moves as little as it must to
// lie in the free part (or, when taller, in the whole screen), and when the
// capture area together with the header is taller than the screen, the
// header goes inside the capture area's top edge.
FittedFrame fitToScreen(const QRect& frame, const QSize& size, const QRect& screen,
                        const QRect& available);

// The screen that a rectangle belongs to: the one holding its centre, or
// else the one it overlaps most. Null when `screens` is empty.
QRect screenOf(const QRect& rect, const QList<QRect>& screens);

// The part of `capture` that is recorded: all of it where it lies on the
// screens (across two of them too), else what lies on its own screen.
QRect recordablePart(const QRect& capture, const QList<QRect>& screens);

}  // namespace mirelo::recorder
