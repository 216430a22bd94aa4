#pragma once

#include "convert/Options.h"
#include "export/ExportTypes.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTextStream>

// mirelo-convert: turns a folder of PNG/JPEG frames, or a GIF, WebP or video file, into an
// animation file.
namespace mirelo::convert {

// The frame files of a folder: *.png, *.jpg, *.jpeg (any case), sorted by
// name with runs of digits compared by value (frame2 before frame10).
QStringList frameFiles(const QDir& folder);

// Where the progress line may go: only when `err` writes to a terminal (a
// log or a pipe gets no carriage-return updates), or to any stream.
enum class ProgressLine { onTerminal, always };

// Runs the whole conversion; returns the exit status (0 success, 1 error).
// Errors are one line on `err`; progress goes to `err` unless quiet.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err,
        const CancelFlag& cancel = {}, ProgressLine progressLine = ProgressLine::onTerminal);

}  // namespace mirelo::convert
