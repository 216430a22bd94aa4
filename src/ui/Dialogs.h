#pragma once

class QCoreApplication;

// The system dialogs (file dialogs, colour picker, message boxes) inside the
// Chinese interface.
namespace mirelo::dialogs {

// Loads Qt's own Chinese translations, so that the dialogs Qt draws speak
// Chinese like the rest of the interface. Returns whether they were found.
bool installChineseTranslations(QCoreApplication* app);

// Gives every message box of the application a width that holds a file
// path on one line and its title unshortened.
void widenMessageBoxes(QCoreApplication* app);

// The narrowest message box widenMessageBoxes() lets through.
inline constexpr int kMessageBoxMinimumWidth = 440;

}  // namespace mirelo::dialogs
