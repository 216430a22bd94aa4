#include "export/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

namespace mirelo {

AtomicFile::AtomicFile(const QString& destination) : m_destination(destination) {
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
    const QByteArray from = QFile::encodeName(m_tempPath);
    const QByteArray to = QFile::encodeName(m_destination);
    if (std::rename(from.constData(), to.constData()) != 0) {
        QFile::remove(m_tempPath);
        return false;
    }
    return true;
}

void AtomicFile::discard() {
    if (!m_done && !m_tempPath.isEmpty()) {
        QFile::remove(m_tempPath);
    }
    m_done = true;
}

}  // namespace mirelo
