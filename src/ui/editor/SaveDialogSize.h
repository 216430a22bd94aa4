#pragma once

class QFileDialog;

namespace mirelo {

// The save dialog's size: it opens as large as the user last left one, or
// else wide enough that its file list shows every column whole (names,
// sizes, types and dates in the user's locale), never wider than the screen.
namespace saveDialogSize {

// Sizes the columns of the dialog's file list to their contents and the
// dialog to the remembered size or to one that shows them. Call before it
// is shown.
void apply(QFileDialog* dialog);

// Keeps the dialog's size for the next one, when the user changed it.
void remember(const QFileDialog* dialog);

}  // namespace saveDialogSize

}  // namespace mirelo
