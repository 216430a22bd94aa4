#pragma once

#include <QString>

#include <optional>

// Starting with the desktop session: an entry in the user's XDG autostart
// folder, $XDG_CONFIG_HOME/autostart/<desktop id>.desktop ($XDG_CONFIG_HOME
// is ~/.config when unset or not absolute).
namespace mirelo::autostart {

QString entryPath(const QString& desktopId);

// True when the entry exists and is not marked hidden (a desktop's own
// settings hide an entry with Hidden=true instead of removing it).
bool isEnabled(const QString& desktopId);

// Writes an entry that starts `program` (an absolute path; it is skipped at
// login once the program is gone), or removes the entry. Returns the reason
// when that fails; the entry is then as it was.
std::optional<QString> setEnabled(const QString& desktopId, bool enabled, const QString& program);

// `program` as one argument of an Exec line, quoted where it needs quotes.
QString execArgument(const QString& program);

}  // namespace mirelo::autostart
