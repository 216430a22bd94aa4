#pragma once

#include <QString>

namespace mirelo {

// Temporary export files that a crash can leave beside a destination where the file system has
// no unnamed temporary files (see AtomicFile): the folders this run writes such files to are
// kept in a list file, and the next start removes the leftovers in them (only the program's
// own, by name, and only those unchanged for ten minutes, so another instance's export in
// progress is left alone).
class StrayExportFiles {
public:
    // Removes the leftovers in the folders the list names (written by the last run), then
    // writes down this run's folders in it as they come.
    static void sweepAndWatch(const QString& listFile);
    // The list file: "export-folders" in the application's cache folder.
    static QString defaultListFile();
    static constexpr qint64 kMinimumAgeSeconds = 600;
};

}  // namespace mirelo
