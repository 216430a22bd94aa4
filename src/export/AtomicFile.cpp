#include "export/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace mirelo {

namespace {

// fsync of the file or folder at `path`, opened read-only.
bool syncPath(const QString& path, int flags) {
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    ::close(fd);
    return result == 0;
}

}  // namespace

bool FileSyncCalls::syncFile(const QString& path) {
    return syncPath(path, 0);
}

bool FileSyncCalls::rename(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool FileSyncCalls::syncFolder(const QString& path) {
    return syncPath(path, O_DIRECTORY);
}

FileSyncCalls& FileSyncCalls::system() {
    static FileSyncCalls calls;
    return calls;
}

AtomicFile::AtomicFile(const QString& destination, FileSyncCalls& calls)
    : m_destination(destination), m_calls(calls) {
    const QFileInfo info(destination);
    if (destination.isEmpty() || info.isDir()) {
        return;
    }
    // A hidden name in the destination's folder, so the rename stays on one
    // file system and is atomic.
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        return;
    }
    m_tempPath = temp.fileName();
    // New files get the usual permissions (QTemporaryFile makes them 0600).
    QFile::setPermissions(m_tempPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    temp.close();
}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::commit() {
    if (m_done || m_tempPath.isEmpty()) {
        return false;
    }
    m_done = true;
    // The data must be on the disk before the new name points at it.
    if (!m_calls.syncFile(m_tempPath) || !m_calls.rename(m_tempPath, m_destination)) {
        QFile::remove(m_tempPath);
        return false;
    }
    // The rename itself is made durable by flushing the folder. The file is
    // in place either way; a file system that cannot flush folders (some
    // network or FUSE ones refuse) does not undo the save.
    m_calls.syncFolder(QFileInfo(m_destination).absolutePath());
    return true;
}

void AtomicFile::discard() {
    if (!m_done && !m_tempPath.isEmpty()) {
        QFile::remove(m_tempPath);
    }
    m_done = true;
}

}  // namespace mirelo
