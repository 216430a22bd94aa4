#include "export/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
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

std::mutex& observerMutex() {
    static std::mutex mutex;
    return mutex;
}
std::function<void(const QString&)>& observer() {
    static std::function<void(const QString&)> function;
    return function;
}

// The hidden name of a temporary file beside `destination`, with `random` for the six X.
QString hiddenName(const QFileInfo& destination, const QString& random) {
    return destination.absolutePath() + QStringLiteral("/.") + destination.fileName() +
           QLatin1Char('.') + random + QStringLiteral(".part");
}

QString randomLetters() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString out;
    for (int i = 0; i < 6; ++i) {
        out += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
    }
    return out;
}

}  // namespace

void keepFileAttributes(const QString& file, const QString& replaced) {
    struct stat old {};
    if (::stat(QFile::encodeName(replaced).constData(), &old) != 0 || !S_ISREG(old.st_mode)) {
        return;
    }
    const QByteArray path = QFile::encodeName(file);
    if (old.st_uid == ::geteuid()) {
        // Fails where the user is not in the group; the file then keeps the user's own.
        (void)::chown(path.constData(), static_cast<uid_t>(-1), old.st_gid);
    }
    ::chmod(path.constData(), old.st_mode & 0777);
}

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
    // In the destination's folder, so that it stays on one file system and the rename is atomic.
    if (calls.unnamedTemporaryFiles()) {
        do {
            m_fd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                          O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd >= 0) {
            // New files get the usual permissions, whatever the umask.
            ::fchmod(m_fd, 0644);
            m_tempPath = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
            if (::access(QFile::encodeName(m_tempPath).constData(), W_OK) == 0) {
                return;
            }
            ::close(m_fd);  // no /proc to reach it by: a named file instead
            m_fd = -1;
            m_tempPath.clear();
        }
    }
    QTemporaryFile temp(hiddenName(info, QStringLiteral("XXXXXX")));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        return;
    }
    m_tempPath = temp.fileName();
    // New files get the usual permissions (QTemporaryFile makes them 0600).
    QFile::setPermissions(m_tempPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    temp.close();
    std::lock_guard guard(observerMutex());
    if (observer()) {
        observer()(info.absolutePath());
    }
}

AtomicFile::~AtomicFile() {
    discard();
}

QString AtomicFile::folder() const {
    return QFileInfo(m_destination).absolutePath();
}

bool AtomicFile::commit() {
    if (m_done || m_tempPath.isEmpty()) {
        return false;
    }
    const bool ok = putInPlace(m_tempPath, m_fd >= 0);
    discard();
    return ok;
}

bool AtomicFile::commitFrom(const QString& path) {
    if (m_done || m_tempPath.isEmpty()) {
        return false;
    }
    const bool ok = putInPlace(path, false);
    if (!ok) {
        QFile::remove(path);
    }
    discard();
    return ok;
}

bool AtomicFile::putInPlace(const QString& from, bool linkFirst) {
    // The data must be on the disk before the new name points at it.
    if (!m_calls.syncFile(from)) {
        return false;
    }
    keepFileAttributes(from, m_destination);
    QString named = from;
    if (linkFirst) {
        // An unnamed file gets a hidden name for the moment of the rename (a rename replaces
        // the old file in one step; a link cannot).
        const QFileInfo info(m_destination);
        const QByteArray source = QFile::encodeName(from);
        bool linked = false;
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
            named = hiddenName(info, randomLetters());
            linked = ::linkat(AT_FDCWD, source.constData(), AT_FDCWD,
                              QFile::encodeName(named).constData(), AT_SYMLINK_FOLLOW) == 0;
            if (!linked && errno != EEXIST) {
                return false;
            }
        }
        if (!linked) {
            return false;
        }
    }
    if (!m_calls.rename(named, m_destination)) {
        QFile::remove(named);
        return false;
    }
    // The rename itself is made durable by flushing the folder. The file is
    // in place either way; a file system that cannot flush folders (some
    // network or FUSE ones refuse) does not undo the save.
    m_calls.syncFolder(folder());
    if (!linkFirst && from == m_tempPath) {
        m_tempPath.clear();  // it is the destination now: nothing to remove
    }
    return true;
}

void AtomicFile::discard() {
    if (!m_done) {
        m_done = true;
        if (m_fd < 0 && !m_tempPath.isEmpty()) {
            QFile::remove(m_tempPath);
        }
    }
    if (m_fd >= 0) {
        ::close(m_fd);  // an unnamed file that was not linked goes with it
        m_fd = -1;
    }
}

void AtomicFile::setNamedFileObserver(std::function<void(const QString&)> function) {
    std::lock_guard guard(observerMutex());
    observer() = std::move(function);
}

QStringList AtomicFile::removeLeftovers(const QString& folder, qint64 minimumAgeSeconds) {
    static const QRegularExpression temporary(
        QStringLiteral("^(\\..+\\.[A-Za-z0-9]{6}\\.part(\\.part)?|mirelo-limit-.+)$"));
    QStringList removed;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-minimumAgeSeconds);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !temporary.match(entry.fileName()).hasMatch() ||
            entry.ownerId() != ::geteuid() || entry.lastModified().toUTC() > before) {
            continue;
        }
        if (QFile::remove(entry.absoluteFilePath())) {
            removed << entry.fileName();
        }
    }
    return removed;
}

ExportStatus AtomicFile::moveIntoPlace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    // Flushed before it takes the name and the folder after, as commit()
    // does.
    FileSyncCalls& calls = FileSyncCalls::system();
    if (!calls.syncFile(from)) {
        return Exporter::fileWriteError(to, QString::fromLocal8Bit(std::strerror(errno)));
    }
    keepFileAttributes(from, to);
    if (std::rename(source.constData(), target.constData()) == 0) {
        calls.syncFolder(QFileInfo(to).absolutePath());
        return std::nullopt;
    }
    if (errno != EXDEV) {
        return Exporter::fileWriteError(to, QString::fromLocal8Bit(std::strerror(errno)));
    }
    AtomicFile out(to);
    if (!out.isOpen()) {
        return Exporter::fileWriteError(to, ExportError::Cause::cannotCreate);
    }
    QFile in(from);
    QFile copy(out.tempPath());
    if (!in.open(QIODevice::ReadOnly)) {
        return Exporter::fileWriteError(to, in.errorString());
    }
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return Exporter::fileWriteError(to, copy.errorString());
    }
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (copy.write(chunk) != chunk.size()) {
            return Exporter::fileWriteError(to, copy.errorString());
        }
    }
    if (in.error() != QFileDevice::NoError || !copy.flush()) {
        return Exporter::fileWriteError(to, copy.errorString());
    }
    copy.close();
    if (!out.commit()) {
        return Exporter::fileWriteError(to, ExportError::Cause::cannotReplace);
    }
    in.close();
    QFile::remove(from);
    return std::nullopt;
}

}  // namespace mirelo
