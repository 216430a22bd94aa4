#include "convert/ProgressPrinter.h"

#include <QFile>

#include <unistd.h>

namespace mirelo::convert {

bool isTerminal(const QTextStream& stream) {
    const auto* file = qobject_cast<const QFile*>(stream.device());
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

void ProgressPrinter::show(const QString& label, int done, int total) {
    if (m_quiet || total <= 0) {
        return;
    }
    const int percent = int(100LL * done / total);
    std::lock_guard lock(m_mutex);
    if (label == m_label && percent == m_percent) {
        return;
    }
    m_label = label;
    m_percent = percent;
    m_err << '\r' << label << ' ' << percent << "% (" << done << '/' << total << ")   ";
    m_err.flush();
    m_open = true;
}

void ProgressPrinter::finish() {
    std::lock_guard lock(m_mutex);
    if (m_open) {
        m_err << '\n';
        m_err.flush();
        m_open = false;
    }
}

}  // namespace mirelo::convert
