#pragma once

#include <QColor>
#include <QIcon>

// The application's icons, drawn at run time so that they look the same on
// every desktop whatever icon theme is installed.
namespace mirelo::Icons {

QIcon cursorArrow(const QColor& color);
QIcon recordCircle(const QColor& color);
QIcon stopFill(const QColor& color);
QIcon hourglass(const QColor& color);
QIcon menu(const QColor& color);
// The pointer arrow struck through: pointer capture off.
QIcon cursorArrowOff(const QColor& color);
// A frame with corner marks: the capture size.
QIcon captureSize(const QColor& color);

// The tray icon while idle (a ring with a dot) and while recording (a red
// disc with a white square).
QIcon trayIdle();
QIcon trayRecording();

}  // namespace mirelo::Icons
