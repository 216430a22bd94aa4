#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace mirelo::convert {

// What mirelo-convert is asked to do.
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
// error. --help and --version anywhere win over everything else; otherwise
// the first thing wrong, in the order the arguments give it, is told.
std::variant<Options, QString> parseArguments(const QStringList& arguments);

// A size in bytes: digits, optionally with a fraction and a k or M suffix
// (1 000 and 1 000 000 bytes); nothing when it is not one or not above 0.
std::optional<qint64> parseSize(const QString& text);

QString usage();

// "mirelo-convert 0.1.0": what --version prints (without the newline).
QString versionLine();

}  // namespace mirelo::convert
