#include "import/NaturalOrder.h"

#include <algorithm>

namespace mirelo {

bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare by value: strip leading zeros, then by length, then digits.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == u'0')
                ++si;
            while (sj + 1 < ej && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c < 0;
            if (ei - i != ej - j)
                return ei - i < ej - j;  // fewer leading zeros first
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

QStringList filesInNaturalOrder(const QDir& folder, const QStringList& patterns) {
    // Name filters ignore case unless QDir::CaseSensitive is given.
    QStringList names = folder.entryList(patterns, QDir::Files | QDir::Readable, QDir::NoSort);
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

}  // namespace mirelo
