#pragma once

#include <optional>
#include <string>

// Who the running program is: its name, version, desktop id and icon.
namespace mirelo {

// "mirelo 0.1.0": what `mirelo --version` prints (without the newline).
std::string versionLine();

// The text `mirelo` prints for --version or --help (-h), or nothing when the
// arguments ask for neither and the application should start. Other
// arguments are left to Qt.
std::optional<std::string> informationRequested(int argc, const char* const* argv);

// Sets the application's name, version and desktop id (which ties its
// windows to the installed desktop entry) and its window icon. Call once
// the QApplication exists.
void applyApplicationIdentity();

}  // namespace mirelo
