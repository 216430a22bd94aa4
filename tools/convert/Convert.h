#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>
#include <variant>

// mirelo-convert: turns a folder of PNG/JPEG frames, or a GIF, WebP or video file, into an
// animation file.
namespace mirelo::convert {

struct Options {
    QString input;            // a folder of frames, or an animation or video file
    bool delayGiven = false;  // --fps or --delay was given
    QString output;
    ExportFormat format = ExportFormat::gif;
    double delay = 1.0 / 15.0;  // seconds per frame
    int quality = 80;
    WebPMode webpMode = WebPMode::lossy;
    int gifLossy = 0;  // lossy GIF compression strength, 0 = off
    ExportPreprocessor::Options preprocess;
    std::optional<qint64> maxSize;  // bytes
    bool quiet = false;
    // Replace OUTPUT even when it could not be written in place (a read-only file).
    bool force = false;
    bool help = false;
    bool version = false;

    EncodeSettings encodeSettings() const;
};

// The options from the arguments (without the program name), or a one-line
// error.
std::variant<Options, QString> parseArguments(const QStringList& arguments);

// A size in bytes: digits, optionally with a fraction and a k or M suffix
// (1 000 and 1 000 000 bytes); nothing when it is not one or not above 0.
std::optional<qint64> parseSize(const QString& text);

// The frame files of a folder: *.png, *.jpg, *.jpeg (any case), sorted by
// name with runs of digits compared by value (frame2 before frame10).
QStringList frameFiles(const QDir& folder);

QString usage();

// "mirelo-convert 0.1.0": what --version prints (without the newline).
QString versionLine();

// Where the progress line may go: only when `err` writes to a terminal (a
// log or a pipe gets no carriage-return updates), or to any stream.
enum class ProgressLine { onTerminal, always };

// Runs the whole conversion; returns the exit status (0 success, 1 error).
// Errors are one line on `err`; progress goes to `err` unless quiet.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err,
        const CancelFlag& cancel = {}, ProgressLine progressLine = ProgressLine::onTerminal);

}  // namespace mirelo::convert
