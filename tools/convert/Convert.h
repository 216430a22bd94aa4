#pragma once

#include "export/ExportPreprocessor.h"
#include "export/ExportTypes.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>
#include <variant>

// mirelo-convert: turns a folder of PNG/JPEG frames into an animation file.
namespace mirelo::convert {

struct Options {
    QString inputFolder;
    QString output;
    ExportFormat format = ExportFormat::gif;
    double delay = 1.0 / 15.0;  // seconds per frame
    int quality = 80;
    ExportPreprocessor::Options preprocess;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// The options from the arguments (without the program name), or a one-line
// error.
std::variant<Options, QString> parseArguments(const QStringList& arguments);

// The frame files of a folder: *.png, *.jpg, *.jpeg (any case), sorted by
// name with runs of digits compared by value (frame2 before frame10).
QStringList frameFiles(const QDir& folder);

QString usage();

// "mirelo-convert 0.1.0": what --version prints (without the newline).
QString versionLine();

// Runs the whole conversion; returns the exit status (0 success, 1 error).
// Errors are one line on `err`; progress goes to `err` unless quiet.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err,
        const CancelFlag& cancel = {});

}  // namespace mirelo::convert
