#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

// The application's palette: warm paper tones for backgrounds, the desktop's
// highlight colour as the accent.
namespace mirelo::Theme {

inline QColor paper() {
    return QColor::fromRgbF(0.965f, 0.953f, 0.925f);
}
inline QColor paperDeep() {
    return QColor::fromRgbF(0.929f, 0.914f, 0.875f);
}
inline QColor card() {
    return QColor::fromRgbF(0.992f, 0.988f, 0.973f);
}
inline QColor border() {
    return QColor::fromRgbF(0.902f, 0.882f, 0.839f);
}
inline QColor accent() {
    return QGuiApplication::palette().color(QPalette::Highlight);
}

}  // namespace mirelo::Theme
