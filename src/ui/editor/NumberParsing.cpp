#include "ui/editor/NumberParsing.h"

#include <QByteArray>

#include <locale.h>
#include <clocale>
#include <cmath>
#include <cstdlib>

namespace mirelo {

namespace {

// The "C" locale, made once: strtod alone would follow the process locale,
// which the application sets from the environment.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

std::optional<double> parseNumber(const QString& text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray bytes = text.toUtf8();
    // strtod skips leading blanks and stops at an embedded NUL; both must fail.
    const unsigned char first = static_cast<unsigned char>(bytes.front());
    if (first <= ' ' || bytes.contains('\0')) {
        return std::nullopt;
    }
    const char* begin = bytes.constData();
    char* end = nullptr;
    const double value = strtod_l(begin, &end, cLocale());
    if (end != begin + bytes.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> roundToWhole(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::round(value);
    // 2^63 is the first double past the largest 64-bit integer.
    if (rounded >= 9223372036854775808.0 || rounded < -9223372036854775808.0) {
        return std::nullopt;
    }
    return static_cast<long long>(rounded);
}

}  // namespace mirelo
