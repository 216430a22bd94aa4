#pragma once

#include <QColor>
#include <QIcon>

// The application's icons, drawn at run time so that they look the same on
// every desktop whatever icon theme is installed. The application and tray
// icons are also installed in the hicolor theme under the desktop id; a theme
// that has them by that name wins, and the drawn ones stand in where none
// does (as when running from the build tree).
namespace mirelo::Icons {

QIcon cursorArrow(const QColor& color);
QIcon recordCircle(const QColor& color);
QIcon stopFill(const QColor& color);
QIcon hourglass(const QColor& color);
QIcon menu(const QColor& color);
// The pointer arrow struck through: pointer capture off.
QIcon cursorArrowOff(const QColor& color);
// A keyboard: keys and clicks kept with the recording.
QIcon keyboard(const QColor& color);
// A frame with corner marks: the capture size.
QIcon captureSize(const QColor& color);

// The tray icon while idle (a ring with a dot) and while recording (a red
// disc with a white square): theme names <desktop id>-idle and -recording.
QIcon trayIdle();
QIcon trayRecording();

// The application's icon (a recording frame's corners around a red dot):
// theme name <desktop id>.
QIcon application();

// The icon `name` of the current theme when the theme has it and it can be
// drawn, else `fallback`.
QIcon themedOr(const QString& name, const QIcon& fallback);

}  // namespace mirelo::Icons
