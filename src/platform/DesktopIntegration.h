#pragma once

#include <QString>

#include <functional>

// Hand-offs to the desktop: the file manager and the settings.
namespace mirelo::desktop {

// Shows `path` selected in the file manager through its D-Bus interface
// (org.freedesktop.FileManager1.ShowItems). When no file manager answers,
// opens the folder holding the file instead, and when that fails too calls
// `unrevealed` (so the caller can say where the file is). Returns at once.
void revealFile(const QString& path, std::function<void()> unrevealed = {});

// Opens `folder` in the file manager; calls `failed` when no program could
// open it. Returns at once.
void openFolder(const QString& folder, std::function<void()> failed = {});

// Opens the desktop's privacy settings where the desktop has such a panel;
// returns false when none could be started.
bool openPrivacySettings();

}  // namespace mirelo::desktop
