#pragma once

class QCoreApplication;

// The system dialogs (file dialogs, colour picker, message boxes) inside the
// interface (their language comes with i18n::install()).
namespace mirelo::dialogs {

// Gives every message box of the application a width that holds a file
// path on one line and its title unshortened.
void widenMessageBoxes(QCoreApplication* app);

// The narrowest message box widenMessageBoxes() lets through.
inline constexpr int kMessageBoxMinimumWidth = 440;

}  // namespace mirelo::dialogs
