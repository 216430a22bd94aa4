#pragma once

#include "overlay/OverlayItem.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <vector>

// Turns the keys and clicks of a recording into key captions and click marks on the frames
// that follow them.
namespace mirelo::InputOverlays {

// A key press `seconds` after the first frame, as its caption shows it ("Ctrl+S", "a").
// `typing` keys (plain characters) join into words.
struct Key {
    double seconds = 0;
    QString text;
    bool typing = false;
};

// A button press `seconds` after the first frame, at `position` in frame pixels.
struct Click {
    double seconds = 0;
    QPointF position;
    bool rightButton = false;
};

// The pointer at `position` in frame pixels from `seconds` after the first frame on.
struct Pointer {
    double seconds = 0;
    QPointF position;
};

// Keys pressed closer together than this join one caption.
inline constexpr double kJoinSeconds = 0.6;
// A caption shows for this long after its last key (or until the next caption).
inline constexpr double kCaptionSeconds = 1.0;
// A click mark shows for this long.
inline constexpr double kClickSeconds = 0.3;
// A caption longer than this many characters starts a new one.
inline constexpr qsizetype kMaxCaptionLength = 40;

// The frame an event `seconds` after the first frame shows on first: the first frame that
// starts at or after it (frame i starts at the sum of the delays before it), else the last.
// -1 without frames.
int frameAt(double seconds, const std::vector<double>& delays);

// The captions and marks for frames `frameIds` with `delays` (same length) of `frameSize`:
// one caption per run of keys less than kJoinSeconds apart, their texts joined with two
// spaces (typed characters join directly), on the frames from its first key's frame until
// kCaptionSeconds after its last key's frame or until the next caption; one mark per click,
// on its frame and the frames starting less than kClickSeconds after it. Every overlay lies
// on at least one frame. Keys and clicks may come in any order.
QList<OverlayItem> make(std::vector<Key> keys, std::vector<Click> clicks,
                        const QList<QUuid>& frameIds, const std::vector<double>& delays,
                        const QSizeF& frameSize);

// The pointer highlights for frames `frameIds` with `delays` (same length) of `frameSize`: on
// each frame, a disc where the pointer was when the frame started (the last position at or
// before it), one overlay for each run of frames with the pointer in one place. Frames before
// the first position, and those with the pointer too far outside them, get none. Positions may
// come in any order. The highlights are made hidden.
QList<OverlayItem> pointerHighlights(std::vector<Pointer> pointers, const QList<QUuid>& frameIds,
                                     const std::vector<double>& delays, const QSizeF& frameSize);

}  // namespace mirelo::InputOverlays
