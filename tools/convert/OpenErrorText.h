#pragma once

#include "import/OpenError.h"

#include <QString>

namespace mirelo::convert {

// One line saying what is wrong with the input file.
QString openErrorLine(const OpenError& error);

}  // namespace mirelo::convert
