#pragma once

#include <QString>
#include <QTextStream>

#include <mutex>

namespace mirelo::convert {

// Whether the stream writes to a terminal.
bool isTerminal(const QTextStream& stream);

// Prints "\r<label> <done>/<total>" on stderr when the shown value changes.
class ProgressPrinter {
public:
    ProgressPrinter(QTextStream& err, bool quiet) : m_err(err), m_quiet(quiet) {}
    void show(const QString& label, int done, int total);
    void finish();

private:
    QTextStream& m_err;
    bool m_quiet;
    std::mutex m_mutex;
    QString m_label;
    int m_percent = -1;
    bool m_open = false;
};

}  // namespace mirelo::convert
