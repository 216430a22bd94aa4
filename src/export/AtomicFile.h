#pragma once

#include <QString>

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

    // The calls on the real file system.
    static FileSyncCalls& system();
};

// A destination written through a temporary file in the same folder, renamed
// into place only when the writer commits. Until then the destination is
// untouched; if the writer gives up (or throws, or is cancelled), the
// temporary file is removed. Use tempPath() with writers that want a path.
//
// Committing flushes the temporary file to the disk before the rename and the
// folder after it: after a crash or power loss the destination holds either
// the old file or the whole new one, never an empty one.
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

    // Flushes the temporary file and renames it onto the destination,
    // replacing a file that is there. False (the temporary file removed and
    // the destination untouched) when the flush or the rename fails.
    bool commit();
    // Removes the temporary file without touching the destination.
    void discard();

private:
    QString m_destination;
    QString m_tempPath;
    FileSyncCalls& m_calls;
    bool m_done = false;
};

}  // namespace mirelo
