#pragma once

#include "export/ExportTypes.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace mirelo {

// The file-system calls that make a replaced file durable, behind an
// interface so tests can watch and fail them.
class FileSyncCalls {
public:
    virtual ~FileSyncCalls() = default;
    // Flushes the file's data to the disk (open, fsync, close). False on
    // failure.
    virtual bool syncFile(const QString& path);
    // Renames `from` onto `to`, replacing it. False on failure.
    virtual bool rename(const QString& from, const QString& to);
    // Flushes the folder's entries (fsync of the folder), so a rename in it
    // survives a crash. False on failure.
    virtual bool syncFolder(const QString& path);
    // Whether a temporary file may be one without a name (O_TMPFILE), which
    // nothing can leave behind.
    virtual bool unnamedTemporaryFiles() { return true; }

    // The calls on the real file system.
    static FileSyncCalls& system();
};

// Gives `file` the permission bits of the file `replaced` (when there is one), and its group
// where the user owns it, so that replacing a private file does not make it readable to others.
void keepFileAttributes(const QString& file, const QString& replaced);

// A destination written through a temporary file in the same folder, put in
// place only when the writer commits. Until then the destination is
// untouched; if the writer gives up (or throws, or is cancelled), the
// temporary file is removed. Use tempPath() with writers that want a path.
//
// Where the file system allows it the temporary file has no name (O_TMPFILE;
// tempPath() is then its /proc/self/fd path), so a process that dies leaves
// nothing behind; elsewhere it is a hidden ".NAME.XXXXXX.part" beside the
// destination, which removeLeftovers() finds later.
//
// Committing flushes the temporary file to the disk before it takes the
// destination's name and the folder after it: after a crash or power loss
// the destination holds either the old file or the whole new one, never an
// empty one. A file that is replaced keeps its permission bits, and its
// group where the user owns it.
class AtomicFile {
public:
    explicit AtomicFile(const QString& destination, FileSyncCalls& calls = FileSyncCalls::system());
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False when no temporary file could be created beside the destination
    // (missing folder, no permission).
    bool isOpen() const { return !m_tempPath.isEmpty(); }
    const QString& tempPath() const { return m_tempPath; }
    const QString& destination() const { return m_destination; }
    // The destination's folder, where other files of the same export may go.
    QString folder() const;
    // Whether the temporary file has a name that a crash could leave behind.
    bool isNamed() const { return m_fd < 0 && isOpen(); }

    // Flushes the temporary file and gives it the destination's name,
    // replacing a file that is there. False (the temporary file removed and
    // the destination untouched) when the flush or the rename fails.
    bool commit();
    // Puts the finished file `path` (in folder()) in place instead of the
    // temporary file, in the same way.
    bool commitFrom(const QString& path);
    // Removes the temporary file without touching the destination.
    void discard();

    // Moves the finished file `from` onto `to` in one step. Within one file
    // system that is a rename, which replaces an existing file atomically;
    // across file systems the bytes are copied through a temporary file
    // beside `to` and renamed, and `from` is removed. Either way the file is
    // flushed before it takes the name, and keeps the attributes of the file
    // it replaces.
    static ExportStatus moveIntoPlace(const QString& from, const QString& to);

    // Called with the folder whenever a named temporary file is made, so that
    // its leftovers can be looked for after a crash.
    static void setNamedFileObserver(std::function<void(const QString& folder)> observer);
    // Removes, in `folder`, this program's temporary files (".NAME.XXXXXX.part",
    // "mirelo-limit-…") unchanged for at least `minimumAgeSeconds`, which
    // an export still running would not leave so long. Returns their names.
    static QStringList removeLeftovers(const QString& folder, qint64 minimumAgeSeconds);

private:
    bool putInPlace(const QString& from, bool linkFirst);

    QString m_destination;
    QString m_tempPath;
    FileSyncCalls& m_calls;
    int m_fd = -1;  // the unnamed temporary file
    bool m_done = false;
};

}  // namespace mirelo
