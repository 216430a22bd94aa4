#pragma once

#include <QFlags>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// The recorder window's geometry rules as plain functions of rectangles, so
// they can be checked without a window. Rectangles are in Qt's global space:
// device-independent pixels, origin top-left, y growing downwards.
namespace mirelo::recorder {

inline constexpr int kHeaderHeight = 44;
// Wide enough for the recording toolbar in either language (pause and stop
// beside the disabled settings).
inline constexpr QSize kMinimumSize{288, 204};
inline constexpr QSize kInitialCaptureSize{960, 540};
inline constexpr int kCornerRadius = 10;
inline constexpr int kOutlineWidth = 2;
inline constexpr int kEdgeHandle = 10;
inline constexpr int kCornerHandle = 18;

// The size presets offered by the size menu, smallest first.
QList<QSize> sizePresets();

// The window is the capture area framed by the outline (kOutlineWidth on
// every side) with the header above it, or laid over its top when
// `headerInside`. The outline lies outside the recorded rectangle, so the
// window keeps its size and place when a recording starts: a compositor may
// answer a resize of the window by placing it anew.

// The window's size for a capture area of `capture` with the header above.
QSize frameSize(const QSize& capture);

// The rectangle to record: the frame without its top header strip and its
// outline, or without only the outline when the header sits inside the
// capture area.
QRect captureRegion(const QRect& frame, bool headerInside);

// The header: the top 44-pixel strip of the frame, wherever the capture
// area lies.
QRect headerStrip(const QRect& frame);

struct SnapResult {
    QRect frame;
    bool headerInside = false;
};

// The window frame whose capture area covers `target`. The header goes above
// the target when there is room for it below `availableTop` (the top of the
// usable area of the screen the target starts on; none means unlimited
// room); otherwise the frame is the target and the header covers its top.
SnapResult snapFrame(const QRect& target, std::optional<int> availableTop);

// The frame for a capture area of `size` with the header above it, keeping
// the top edge and left edge of `frame`.
QRect presetFrame(const QRect& frame, const QSize& size);

enum class Edge {
    Top = 1 << 0,
    Bottom = 1 << 1,
    Leading = 1 << 2,
    Trailing = 1 << 3,
};
Q_DECLARE_FLAGS(Edges, Edge)

// The frame after dragging a handle on `edges` by `translation` from the
// frame `start`; the opposite edges stay put and the size never falls below
// `minimum`.
QRect resizedFrame(const QRect& start, Edges edges, const QPoint& translation,
                   const QSize& minimum = kMinimumSize);

// Where each resize handle sits inside a window of `size` (local
// coordinates), in stacking order: the four edges, then the four corners.
struct HandlePlacement {
    Edges edges;
    QRect rect;
};
QList<HandlePlacement> handlePlacements(const QSize& size);

// The window while a recording runs. Nothing of the window may lie inside
// the recorded rectangle: the outline already lies outside it, and the
// window keeps its frame. A header that sat inside moves above the
// rectangle, or below it, whichever fits the screen, when `mayMove` (the
// window then grows to take it); without room, or when the window may not
// change (a compositor that places windows itself), it shows no header at
// all.
struct RecordingLayout {
    QRect window;   // the window's frame while recording (global)
    QRect capture;  // the recorded rectangle (global, unchanged)
    QRect header;   // the header (global); null when there is no room for it
};
RecordingLayout recordingLayout(const QRect& frame, bool headerInside, const QRect& screenArea,
                                bool mayMove = true);

// Where a window of ours with the frame `window` goes while a recording runs
// so that it stays out of `avoid` (the recorder window around the recorded
// rectangle): its own place when it lies outside already, else the nearest
// place above, below, left or right of `avoid` that keeps it inside `screen`.
// Nothing when no such place exists.
std::optional<QPoint> placeOutside(const QRect& window, const QRect& avoid, const QRect& screen);

}  // namespace mirelo::recorder

Q_DECLARE_OPERATORS_FOR_FLAGS(mirelo::recorder::Edges)
