#pragma once

#include <QString>

#include <optional>

namespace mirelo {

// A typed number: the whole text must be one floating-point number in C-locale
// notation (sign, digits, "." fraction, exponent; hexadecimal floats; "inf",
// "nan"), with no blanks around it. Commas are never decimal separators, so the
// result does not depend on the user's locale. Empty text gives nothing.
std::optional<double> parseNumber(const QString& text);

// Rounds to the nearest whole number, halves away from zero; nothing when the
// value is not finite or does not fit a 64-bit integer.
std::optional<long long> roundToWhole(double value);

}  // namespace mirelo
