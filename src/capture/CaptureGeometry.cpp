#include "capture/CaptureGeometry.h"

#include "capture/ScreenRecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mirelo::CaptureGeometry {

QRectF displayFrame(const CaptureDisplay& display, double devicePixelRatio) {
    const QRect& pixels = display.pixelFrame;
    return QRectF(pixels.x(), pixels.y(), pixels.width() / devicePixelRatio,
                  pixels.height() / devicePixelRatio);
}

std::optional<double> screenScale(const CaptureDisplay& display,
                                  const std::vector<ScreenInfo>& screens) {
    for (const ScreenInfo& screen : screens) {
        if (screen.name == display.name && screen.devicePixelRatio > 0) {
            return screen.devicePixelRatio;
        }
    }
    return std::nullopt;
}

std::optional<size_t> displayUnder(const QRectF& region,
                                   const std::vector<CaptureDisplay>& displays,
                                   const std::vector<ScreenInfo>& screens) {
    for (size_t i = 0; i < displays.size(); ++i) {
        // Where the screen list does not know the display, its points are taken as pixels.
        const double ratio = screenScale(displays[i], screens).value_or(1.0);
        if (displayFrame(displays[i], ratio).intersects(region)) {
            return i;
        }
    }
    return std::nullopt;
}

namespace {

int truncatedPixels(double value) {
    if (!(value >= 1.0)) {
        return 1;
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(value);
}

}  // namespace

QSize pixelSize(const QSizeF& points, double scale) {
    return QSize(truncatedPixels(points.width() * scale), truncatedPixels(points.height() * scale));
}

QRect pixelsOfRegion(const QRectF& region, const QRectF& area, const QSize& pixels) {
    const double sx = area.width() > 0 ? pixels.width() / area.width() : 1.0;
    const double sy = area.height() > 0 ? pixels.height() / area.height() : 1.0;
    // An edge inside a pixel (a fractional scale) leaves that pixel out: the compositor
    // blends it with what lies beyond the edge (the header, the outline).
    static constexpr double kLimit = 1 << 28;
    static constexpr double kSlack = 1e-6;
    auto start = [](double value) {
        return static_cast<int>(std::ceil(std::clamp(value, -kLimit, kLimit) - kSlack));
    };
    auto end = [](double value) {
        return static_cast<int>(std::floor(std::clamp(value, -kLimit, kLimit) + kSlack));
    };
    const int left = start((region.left() - area.left()) * sx);
    const int top = start((region.top() - area.top()) * sy);
    const int right = end((region.right() - area.left()) * sx);
    const int bottom = end((region.bottom() - area.top()) * sy);
    return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

MediaTime frameInterval(double fps) {
    int32_t rate = 1;
    if (fps >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        rate = std::numeric_limits<int32_t>::max();
    } else if (fps >= 1.0) {
        rate = static_cast<int32_t>(fps);
    }
    return MediaTime{1, rate, MediaTime::Valid};
}

std::optional<CaptureConfiguration> configure(const QRectF& region, double fps, bool showsCursor,
                                              const std::vector<CaptureDisplay>& displays,
                                              const std::vector<ScreenInfo>& screens) {
    const std::optional<size_t> index = displayUnder(region, displays, screens);
    if (!index) {
        return std::nullopt;
    }
    const CaptureDisplay& display = displays[*index];
    const std::optional<double> known = screenScale(display, screens);
    const double pointRatio = known.value_or(1.0);
    const double scale = known.value_or(kUnknownDisplayScale);
    const QRectF frame = displayFrame(display, pointRatio);

    CaptureConfiguration configuration;
    configuration.displayId = display.id;
    configuration.sourceRect = region.translated(-frame.topLeft());
    configuration.outputSize = pixelSize(configuration.sourceRect.size(), scale);
    const QPointF origin = frame.topLeft() + configuration.sourceRect.topLeft() * pointRatio;
    const QSize sourceSize =
        known ? configuration.outputSize : pixelSize(configuration.sourceRect.size(), 1.0);
    configuration.sourcePixels = QRect(
        QPoint(static_cast<int>(std::floor(origin.x())), static_cast<int>(std::floor(origin.y()))),
        sourceSize);
    configuration.minimumFrameInterval = frameInterval(fps);
    configuration.showsCursor = showsCursor;
    configuration.queueDepth = 6;
    return configuration;
}

}  // namespace mirelo::CaptureGeometry
