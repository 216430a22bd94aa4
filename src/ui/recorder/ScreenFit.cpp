#include "ui/recorder/ScreenFit.h"

#include "ui/recorder/RecorderGeometry.h"

#include <QRegion>

#include <algorithm>

namespace mirelo::recorder {

namespace {

// Moves `rect` as little as possible to lie inside `bounds` (its top-left
// corner wins when it is larger).
QRect movedInside(QRect rect, const QRect& bounds) {
    rect.moveLeft(
        std::max(bounds.left(), std::min(rect.left(), bounds.right() + 1 - rect.width())));
    rect.moveTop(std::max(bounds.top(), std::min(rect.top(), bounds.bottom() + 1 - rect.height())));
    return rect;
}

long long overlap(const QRect& a, const QRect& b) {
    const QRect both = a & b;
    return both.isEmpty() ? 0 : static_cast<long long>(both.width()) * both.height();
}

}  // namespace

FittedFrame fitToScreen(const QRect& frame, const QSize& size, const QRect& screen,
                        const QRect& available) {
    FittedFrame fitted;
    if (screen.isEmpty()) {
        fitted.frame = QRect(frame.topLeft(), frameSize(size));
        fitted.capture = size;
        return fitted;
    }
    const QSize capture = size.boundedTo(screen.size());
    fitted.capture = capture;
    fitted.reduced = capture != size;
    const QRect free = available.isEmpty() ? screen : (available & screen);
    QRect wanted(frame.topLeft(), frameSize(capture));
    if (wanted.height() - kOutlineWidth > screen.height()) {
        // No room for the header above the region: it lies over the region's
        // top edge while the frame is placed, and leaves it for the recording.
        fitted.headerInside = true;
        wanted.setSize(capture + QSize(2 * kOutlineWidth, 2 * kOutlineWidth));
    }
    if (wanted.width() <= free.width() && wanted.height() <= free.height()) {
        fitted.frame = movedInside(wanted, free);
        return fitted;
    }
    // The whole frame does not fit: the region itself goes wholly onto the
    // screen, its outline (outside the region) may lie beyond the edges.
    const QRect region = captureRegion(wanted, fitted.headerInside);
    const QPoint fromRegion = wanted.topLeft() - region.topLeft();
    fitted.frame = QRect(movedInside(region, screen).topLeft() + fromRegion, wanted.size());
    return fitted;
}

QRect screenOf(const QRect& rect, const QList<QRect>& screens) {
    const QPoint centre = rect.center();
    for (const QRect& screen : screens) {
        if (screen.contains(centre)) {
            return screen;
        }
    }
    QRect best;
    long long bestOverlap = 0;
    for (const QRect& screen : screens) {
        const long long area = overlap(rect, screen);
        if (best.isNull() || area > bestOverlap) {
            best = screen;
            bestOverlap = area;
        }
    }
    return best;
}

QRect recordablePart(const QRect& capture, const QList<QRect>& screens) {
    if (screens.isEmpty()) {
        return capture;
    }
    // Across two monitors the region stays whole (where one monitor is
    // recorded at a time, the start says what is left out); only what lies
    // beyond every screen is cut.
    QRegion desktop;
    for (const QRect& screen : screens) {
        desktop += screen;
    }
    const QRegion on = desktop & capture;
    if (on == QRegion(capture)) {
        return capture;
    }
    const QRect screen = screenOf(capture, screens);
    return (on & screen).boundingRect();
}

}  // namespace mirelo::recorder
