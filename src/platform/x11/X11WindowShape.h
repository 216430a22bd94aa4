#pragma once

#include <QRect>
#include <QRegion>

#include <optional>

class QWindow;

// Window-shape and desktop services of the X server for our own top-level
// windows. Every function does nothing (or answers false) when the
// application does not run on X11, so callers need no platform checks.
//
// Regions are in the window's device-independent pixels; they are scaled by
// the window's device pixel ratio to the X server's physical pixels, with
// shared edges rounded alike so that adjacent regions tile exactly.
namespace mirelo::x11 {

// The application runs on the X11 platform plugin.
bool isAvailable();

// A compositing manager owns the screen's _NET_WM_CM_Sn selection: only then
// do translucent windows show what lies beneath them.
bool hasCompositor();

// The X server is XWayland: a Wayland compositor manages the windows, may
// place them itself (moves asked for are then ignored) and moves them only
// through its own interactive move.
bool isXWayland();

// Where the X server has the window's client area: root coordinates in the
// server's pixels. What Qt reports may be only what was asked for, before
// the window manager placed the window. Nothing when it cannot be asked.
std::optional<QRect> nativeGeometry(QWindow* window);

// Limits what the window shows (and where it can be clicked) to `region`.
void setBoundingShape(QWindow* window, const QRegion& region);
// Limits where the window takes pointer input to `region`; an empty region
// lets every click fall through.
void setInputShape(QWindow* window, const QRegion& region);
// Restores both shapes to the whole window.
void clearShapes(QWindow* window);

// Asks the window manager to show the window on every virtual desktop.
void setOnAllDesktops(QWindow* window);

// The shape requests above wait in Qt's output buffer until something else
// flushes it; they call this themselves, but it is public for tests.
void flush();

}  // namespace mirelo::x11
