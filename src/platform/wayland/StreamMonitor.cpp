#include "platform/wayland/StreamMonitor.h"

#include <cmath>

namespace mirelo::wayland {

namespace {

// The stream's size is the monitor's at one scale for both sides (each side rounded to a
// whole pixel by the compositor).
bool fits(const QSize& stream, const QSize& monitor) {
    if (stream.isEmpty() || monitor.isEmpty()) {
        return false;
    }
    const double scale = double(stream.width()) / monitor.width();
    return std::abs(monitor.height() * scale - stream.height()) <= 1.0 + scale;
}

}  // namespace

StreamMonitor::Verdict matchStream(const std::optional<QRect>& area,
                                   const std::vector<CaptureDisplay>& monitors, size_t wanted) {
    using Verdict = StreamMonitor::Verdict;
    if (wanted >= monitors.size()) {
        return Verdict::unidentified;
    }
    if (!area) {
        return Verdict::wanted;  // the portal says nothing: the user was asked for this one
    }
    const QRect& want = monitors[wanted].pixelFrame;
    const bool wantedFits = fits(area->size(), want.size());
    if (wantedFits && area->topLeft() == want.topLeft()) {
        return Verdict::wanted;
    }
    const bool atOrigin = area->topLeft() == QPoint(0, 0);
    for (size_t i = 0; i < monitors.size(); ++i) {
        const QRect& other = monitors[i].pixelFrame;
        if (i != wanted && other.topLeft() == area->topLeft() && fits(area->size(), other.size()) &&
            (!atOrigin || !wantedFits)) {
            return Verdict::other;
        }
    }
    return wantedFits ? Verdict::wanted : Verdict::unidentified;
}

std::optional<size_t> monitorFor(const QRect& rect, const std::vector<CaptureDisplay>& monitors) {
    const QPoint centre = rect.center();
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].pixelFrame.contains(centre)) {
            return i;
        }
    }
    std::optional<size_t> best;
    long long bestArea = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const QRect overlap = monitors[i].pixelFrame & rect;
        const long long area = static_cast<long long>(overlap.width()) * overlap.height();
        if (!overlap.isEmpty() && area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    return best;
}

}  // namespace mirelo::wayland
