#pragma once

#include "capture/CaptureBackend.h"
#include "capture/MediaTime.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <optional>
#include <vector>

namespace mirelo {

struct ScreenInfo;

// How a recording region maps onto a display and its pixels. Global desktop coordinates are
// Qt's: origin at the top-left of the primary screen, y down, in points; a display's points
// start at its device-pixel origin and count device pixels divided by its pixel ratio.
namespace CaptureGeometry {

// Scale assumed for a display that no screen of the screen list names.
inline constexpr double kUnknownDisplayScale = 2.0;

// The display's frame in global points, given its device pixel ratio.
QRectF displayFrame(const CaptureDisplay& display, double devicePixelRatio);

// The device pixel ratio of the first screen named like the display, if any.
std::optional<double> screenScale(const CaptureDisplay& display,
                                  const std::vector<ScreenInfo>& screens);

// Index of the first display (in list order) whose frame overlaps `region`.
std::optional<size_t> displayUnder(const QRectF& region,
                                   const std::vector<CaptureDisplay>& displays,
                                   const std::vector<ScreenInfo>& screens);

// Points times scale, each side truncated toward zero, at least one pixel.
QSize pixelSize(const QSizeF& points, double scale);

// The pixels of a picture `pixels` in size that shows `area` which show `region` (both in
// the same global points): the picture's scale is its size against the area's, on each axis,
// so a monitor at a fractional scale maps too. An edge that falls inside a pixel leaves that
// pixel out. The result may reach past the picture.
QRect pixelsOfRegion(const QRectF& region, const QRectF& area, const QSize& pixels);

// 1 / fps as a rational time, the rate truncated to a whole number (at least 1).
MediaTime frameInterval(double fps);

// The stream configuration for `region`, or nothing when no display lies under it.
std::optional<CaptureConfiguration> configure(const QRectF& region, double fps, bool showsCursor,
                                              const std::vector<CaptureDisplay>& displays,
                                              const std::vector<ScreenInfo>& screens);

}  // namespace CaptureGeometry
}  // namespace mirelo
