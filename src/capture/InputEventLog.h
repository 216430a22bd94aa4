#pragma once

#include "capture/InputEvent.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace mirelo {

// The input events of one recording, in a file of their own beside its frames
// ("events.dat" in the recording's folder), so that a recording left by a process that died
// comes back with them. Each event is one record written with one call as it arrives: a crash
// loses at most the record being written, and a reader stops at the first damaged one.
//
// Writing is for one thread at a time.
class InputEventLog {
public:
    InputEventLog() = default;
    ~InputEventLog();
    InputEventLog(const InputEventLog&) = delete;
    InputEventLog& operator=(const InputEventLog&) = delete;

    // Starts the file in `folder` (replacing one there). False when it cannot be made.
    bool open(const QString& folder);
    bool isOpen() const { return m_fd >= 0; }
    // Adds one event (its `seconds` are kept; `time` is not). False when the write failed; the
    // log then takes nothing more.
    bool append(const InputEvent& event);
    void close();

    static QString fileName();

    // The intact events in `folder`'s log, in order; none when it has no log.
    static std::vector<InputEvent> read(const QString& folder);
    // The intact events of a log's bytes, everything checked.
    static std::vector<InputEvent> parse(const QByteArray& bytes);

    // One event as the log stores it (header not included).
    static QByteArray encode(const InputEvent& event);
    static QByteArray header();

private:
    int m_fd = -1;
};

}  // namespace mirelo
