#include "capture/CaptureGeometry.h"

#include "capture/ScreenRecorder.h"

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
