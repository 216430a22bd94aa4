#pragma once

#include <QString>

namespace mirelo {

// A destination written through a temporary file in the same folder, renamed
// into place only when the writer commits. Until then the destination is
// untouched; if the writer gives up (or throws, or is cancelled), the
// temporary file is removed. Use tempPath() with writers that want a path.
class AtomicFile {
public:
    explicit AtomicFile(const QString& destination);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False when no temporary file could be created beside the destination
    // (missing folder, no permission).
    bool isOpen() const { return !m_tempPath.isEmpty(); }
    const QString& tempPath() const { return m_tempPath; }
    const QString& destination() const { return m_destination; }

    // Renames the temporary file onto the destination, replacing a file that
    // is there. False (and the temporary file removed) on failure.
    bool commit();
    // Removes the temporary file without touching the destination.
    void discard();

private:
    QString m_destination;
    QString m_tempPath;
    bool m_done = false;
};

}  // namespace mirelo
