#pragma once

#include <QIcon>
#include <QString>

namespace mirelo::EditorIcons {

// The icon for one of the editor's symbol names ("crop", "trash",
// "play.fill", ...): the desktop theme's icon of the matching freedesktop
// name when the theme has one, else our own drawing, so that no command
// shows a blank button on a desktop without an icon theme. An unknown name
// gives a null icon.
QIcon icon(const QString& symbol);

// Only our own drawing, whatever the theme has (for tests and previews).
QIcon drawnIcon(const QString& symbol);

}  // namespace mirelo::EditorIcons
