#include "overlay/InputOverlays.h"

#include <algorithm>
#include <optional>

namespace mirelo::InputOverlays {

namespace {

std::vector<double> startsOf(const std::vector<double>& delays) {
    std::vector<double> starts;
    starts.reserve(delays.size());
    double at = 0;
    for (double delay : delays) {
        starts.push_back(at);
        at += delay;
    }
    return starts;
}

int firstAtOrAfter(double seconds, const std::vector<double>& starts) {
    if (starts.empty()) {
        return -1;
    }
    // A hair of slack: an event stamped at a frame's own time belongs to that frame.
    const auto it = std::lower_bound(starts.cbegin(), starts.cend(), seconds - 1e-9);
    return it == starts.cend() ? int(starts.size()) - 1 : int(it - starts.cbegin());
}

// Frames first ... last (inclusive) by id.
QList<QUuid> span(const QList<QUuid>& ids, int first, int last) {
    return ids.mid(first, std::max(last, first) - first + 1);
}

// The last frame starting before `until`, never before `first`.
int lastBefore(double until, int first, const std::vector<double>& starts) {
    int last = first;
    while (last + 1 < int(starts.size()) && starts[size_t(last) + 1] < until - 1e-9) {
        ++last;
    }
    return last;
}

}  // namespace

int frameAt(double seconds, const std::vector<double>& delays) {
    return firstAtOrAfter(seconds, startsOf(delays));
}

QList<OverlayItem> make(std::vector<Key> keys, std::vector<Click> clicks,
                        const QList<QUuid>& frameIds, const std::vector<double>& delays,
                        const QSizeF& frameSize) {
    QList<OverlayItem> made;
    if (frameIds.isEmpty() || size_t(frameIds.size()) != delays.size()) {
        return made;
    }
    const std::vector<double> starts = startsOf(delays);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key& a, const Key& b) { return a.seconds < b.seconds; });
    std::stable_sort(clicks.begin(), clicks.end(),
                     [](const Click& a, const Click& b) { return a.seconds < b.seconds; });

    // Runs of keys: text, first frame, and the frame of the last key.
    struct Run {
        QString text;
        bool lastTyping = false;
        double lastSeconds = 0;
        int firstFrame = 0;
        int lastKeyFrame = 0;
    };
    std::vector<Run> runs;
    for (const Key& key : keys) {
        if (key.text.isEmpty()) {
            continue;
        }
        const int frame = firstAtOrAfter(key.seconds, starts);
        Run* run = runs.empty() ? nullptr : &runs.back();
        const QString separator =
            run && run->lastTyping && key.typing ? QString() : QStringLiteral("  ");
        if (!run || key.seconds - run->lastSeconds > kJoinSeconds ||
            run->text.size() + separator.size() + key.text.size() > kMaxCaptionLength) {
            runs.push_back(Run{key.text, key.typing, key.seconds, frame, frame});
            continue;
        }
        run->text += separator + key.text;
        run->lastTyping = key.typing;
        run->lastSeconds = key.seconds;
        run->lastKeyFrame = frame;
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        int last = lastBefore(starts[size_t(run.lastKeyFrame)] + kCaptionSeconds, run.lastKeyFrame,
                              starts);
        if (i + 1 < runs.size()) {
            last = std::min(last, std::max(runs[i + 1].firstFrame - 1, run.lastKeyFrame));
        }
        KeyCaptionOverlay caption;
        caption.text = run.text;
        caption.frameSize = frameSize;
        caption.fontSize = std::clamp(frameSize.height() / 16.0, 12.0, 48.0);
        OverlayItem item = OverlayItem::make(caption);
        item.frames = span(frameIds, run.firstFrame, last);
        made.push_back(std::move(item));
    }
    for (const Click& click : clicks) {
        const int first = firstAtOrAfter(click.seconds, starts);
        const int last = lastBefore(starts[size_t(first)] + kClickSeconds, first, starts);
        ClickMarkOverlay mark;
        mark.center = click.position;
        mark.rightButton = click.rightButton;
        mark.radius = std::clamp(std::min(frameSize.width(), frameSize.height()) / 20.0, 8.0, 32.0);
        OverlayItem item = OverlayItem::make(mark);
        item.frames = span(frameIds, first, last);
        made.push_back(std::move(item));
    }
    return made;
}

QList<OverlayItem> pointerHighlights(std::vector<Pointer> pointers, const QList<QUuid>& frameIds,
                                     const std::vector<double>& delays, const QSizeF& frameSize) {
    QList<OverlayItem> made;
    if (frameIds.isEmpty() || size_t(frameIds.size()) != delays.size() || pointers.empty()) {
        return made;
    }
    const std::vector<double> starts = startsOf(delays);
    std::stable_sort(pointers.begin(), pointers.end(),
                     [](const Pointer& a, const Pointer& b) { return a.seconds < b.seconds; });
    const double radius =
        std::clamp(std::min(frameSize.width(), frameSize.height()) / 14.0, 10.0, 40.0);
    const QRectF frame(QPointF(0, 0), frameSize);
    size_t next = 0;
    std::optional<QPointF> at;
    for (int i = 0; i < frameIds.size(); ++i) {
        // The same slack as for keys and clicks: a position stamped at a frame's own time is
        // where the pointer was on that frame.
        while (next < pointers.size() && pointers[next].seconds <= starts[size_t(i)] + 1e-9) {
            at = pointers[next++].position;
        }
        if (!at || !frame.adjusted(-radius, -radius, radius, radius).contains(*at)) {
            continue;
        }
        auto* previous =
            made.isEmpty() ? nullptr : std::get_if<PointerHighlightOverlay>(&made.back().content);
        if (previous && previous->center == *at && made.back().frames.back() == frameIds[i - 1]) {
            made.back().frames.push_back(frameIds[i]);
            continue;
        }
        PointerHighlightOverlay highlight;
        highlight.center = *at;
        highlight.radius = radius;
        OverlayItem item = OverlayItem::make(highlight);
        item.frames = {frameIds[i]};
        made.push_back(std::move(item));
    }
    return made;
}

}  // namespace mirelo::InputOverlays
