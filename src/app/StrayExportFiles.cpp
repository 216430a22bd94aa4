#include "app/StrayExportFiles.h"

#include "capture/RecordingStore.h"
#include "export/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <memory>
#include <mutex>

namespace mirelo {

QString StrayExportFiles::defaultListFile() {
    return QDir(defaultStoreRoot()).filePath(QStringLiteral("export-folders"));
}

void StrayExportFiles::sweepAndWatch(const QString& listFile) {
    QFile list(listFile);
    if (list.open(QIODevice::ReadOnly)) {
        const QStringList folders = QString::fromUtf8(list.readAll()).split(u'\n');
        for (const QString& folder : folders) {
            if (!folder.isEmpty() && QFileInfo(folder).isAbsolute()) {
                AtomicFile::removeLeftovers(folder, kMinimumAgeSeconds);
            }
        }
        list.close();
    }
    QFile::remove(listFile);
    struct Seen {
        std::mutex mutex;
        QSet<QString> folders;
    };
    auto seen = std::make_shared<Seen>();
    AtomicFile::setNamedFileObserver([seen, listFile](const QString& folder) {
        std::lock_guard guard(seen->mutex);
        if (seen->folders.contains(folder)) {
            return;
        }
        seen->folders.insert(folder);
        QDir().mkpath(QFileInfo(listFile).absolutePath());
        QFile out(listFile);
        if (out.open(QIODevice::Append)) {
            out.write(folder.toUtf8() + '\n');
        }
    });
}

}  // namespace mirelo
