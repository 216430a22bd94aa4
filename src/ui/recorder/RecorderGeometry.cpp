#include "ui/recorder/RecorderGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace mirelo::recorder {

QList<QSize> sizePresets() {
    return {QSize(640, 360), QSize(960, 540), QSize(1280, 720), QSize(1920, 1080)};
}

QSize frameSize(const QSize& capture) {
    return capture + QSize(2 * kOutlineWidth, kHeaderHeight + kOutlineWidth);
}

QRect captureRegion(const QRect& frame, bool headerInside) {
    const int top = headerInside ? kOutlineWidth : kHeaderHeight;
    return QRect(frame.x() + kOutlineWidth, frame.y() + top,
                 std::max(0, frame.width() - 2 * kOutlineWidth),
                 std::max(0, frame.height() - top - kOutlineWidth));
}

QRect headerStrip(const QRect& frame) {
    return QRect(frame.x(), frame.y(), frame.width(), std::min(kHeaderHeight, frame.height()));
}

SnapResult snapFrame(const QRect& target, std::optional<int> availableTop) {
    // Compare in 64 bits: a target near INT_MIN must not wrap around.
    const bool roomAbove =
        !availableTop || static_cast<long long>(target.y()) - kHeaderHeight >= *availableTop;
    if (roomAbove) {
        return {QRect(QPoint(target.x() - kOutlineWidth, target.y() - kHeaderHeight),
                      frameSize(target.size())),
                false};
    }
    return {target.adjusted(-kOutlineWidth, -kOutlineWidth, kOutlineWidth, kOutlineWidth), true};
}

QRect presetFrame(const QRect& frame, const QSize& size) {
    return QRect(frame.topLeft(), frameSize(size));
}

QRect resizedFrame(const QRect& start, Edges edges, const QPoint& translation,
                   const QSize& minimum) {
    int x = start.x();
    int y = start.y();
    int width = start.width();
    int height = start.height();
    if (edges & Edge::Trailing) {
        width = std::max(minimum.width(), start.width() + translation.x());
    }
    if (edges & Edge::Leading) {
        width = std::max(minimum.width(), start.width() - translation.x());
        x = start.x() + start.width() - width;  // the right edge stays
    }
    if (edges & Edge::Top) {
        height = std::max(minimum.height(), start.height() - translation.y());
        y = start.y() + start.height() - height;  // the bottom edge stays
    }
    if (edges & Edge::Bottom) {
        height = std::max(minimum.height(), start.height() + translation.y());
    }
    return QRect(x, y, width, height);
}

QList<HandlePlacement> handlePlacements(const QSize& size) {
    const int w = size.width();
    const int h = size.height();
    const int e = kEdgeHandle;
    const int c = kCornerHandle;
    return {
        {Edge::Top, QRect(0, 0, w, e)},
        {Edge::Bottom, QRect(0, h - e, w, e)},
        {Edge::Leading, QRect(0, 0, e, h)},
        {Edge::Trailing, QRect(w - e, 0, e, h)},
        {Edge::Top | Edge::Leading, QRect(0, 0, c, c)},
        {Edge::Top | Edge::Trailing, QRect(w - c, 0, c, c)},
        {Edge::Bottom | Edge::Leading, QRect(0, h - c, c, c)},
        {Edge::Bottom | Edge::Trailing, QRect(w - c, h - c, c, c)},
    };
}

RecordingLayout recordingLayout(const QRect& frame, bool headerInside, const QRect& screenArea,
                                bool mayMove) {
    RecordingLayout layout;
    layout.capture = captureRegion(frame, headerInside);
    layout.window = frame;
    if (!headerInside) {
        layout.header = headerStrip(frame);
    } else if (mayMove) {
        const QRect above(layout.capture.x(), layout.capture.y() - kHeaderHeight,
                          layout.capture.width(), kHeaderHeight);
        const QRect below(layout.capture.x(), layout.capture.bottom() + 1, layout.capture.width(),
                          kHeaderHeight);
        if (screenArea.isNull() || above.top() >= screenArea.top()) {
            layout.header = above;
        } else if (below.bottom() <= screenArea.bottom()) {
            layout.header = below;
        }
        if (!layout.header.isNull()) {
            layout.window = frame.united(layout.header);
        }
    }
    return layout;
}

std::optional<QPoint> placeOutside(const QRect& window, const QRect& avoid, const QRect& screen) {
    if (!window.intersects(avoid)) {
        return window.topLeft();
    }
    const int w = window.width();
    const int h = window.height();
    // Slide along the side of `avoid` as little as the screen requires.
    const auto clampX = [&](int x) {
        return std::max(screen.left(), std::min(x, screen.right() + 1 - w));
    };
    const auto clampY = [&](int y) {
        return std::max(screen.top(), std::min(y, screen.bottom() + 1 - h));
    };
    const QPoint candidates[] = {
        {clampX(window.x()), avoid.bottom() + 1},
        {clampX(window.x()), avoid.top() - h},
        {avoid.left() - w, clampY(window.y())},
        {avoid.right() + 1, clampY(window.y())},
    };
    std::optional<QPoint> best;
    long long bestDistance = 0;
    for (const QPoint& candidate : candidates) {
        const QRect placed(candidate, window.size());
        if (!screen.contains(placed) || placed.intersects(avoid)) {
            continue;
        }
        const long long distance = std::llabs(static_cast<long long>(candidate.x()) - window.x()) +
                                   std::llabs(static_cast<long long>(candidate.y()) - window.y());
        if (!best || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace mirelo::recorder
