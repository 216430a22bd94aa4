#pragma once

#include <QString>

// Hand-offs to the desktop: the file manager and the settings.
namespace mirelo::desktop {

// Shows `path` selected in the file manager through its D-Bus interface
// (org.freedesktop.FileManager1.ShowItems). When no file manager answers,
// opens the folder holding the file instead. Returns at once.
void revealFile(const QString& path);

// Opens `folder` in the file manager.
void openFolder(const QString& folder);

// Opens the desktop's privacy settings where the desktop has such a panel;
// returns false when none could be started.
bool openPrivacySettings();

}  // namespace mirelo::desktop
