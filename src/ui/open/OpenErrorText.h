#pragma once

#include "import/OpenError.h"

#include <QString>

namespace mirelo {

// What is wrong with the file, in one sentence for the alert: "无法打开“clip.gif”：…".
QString describeOpenError(const OpenError& error);

// The file dialog's type filter for the files Mirelo opens.
QString openFileFilter();

}  // namespace mirelo
