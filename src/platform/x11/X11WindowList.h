#pragma once

#include "platform/WindowPicker.h"

#include <QByteArray>

namespace mirelo {

// The on-screen top-level windows of the X display, front-most first. With an EWMH window
// manager: its stacking list, frames included (_NET_FRAME_EXTENTS), minimised windows and those
// of other desktops left out. Without one: the viewable children of the root.
class X11WindowList : public WindowListSource {
public:
    explicit X11WindowList(QByteArray displayName = {}) : m_displayName(std::move(displayName)) {}
    std::optional<std::vector<WindowListEntry>> windowsFrontMostFirst() override;

private:
    QByteArray m_displayName;
};

}  // namespace mirelo
