#include "platform/DesktopIntegration.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace mirelo::desktop {

namespace {

// A file manager being started on demand by the bus may take a while; the
// fallback opens the folder if no answer comes in time.
constexpr int kRevealTimeoutMs = 5000;

}  // namespace

void openFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void revealFile(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                            .toString(QUrl::FullyEncoded)}
         << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kRevealTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* self) {
                         if (self->isError()) {
                             openFolder(folder);
                         }
                         self->deleteLater();
                     });
}

bool openPrivacySettings() {
    struct Candidate {
        const char* program;
        QStringList arguments;
    };
    const Candidate candidates[] = {
        {"gnome-control-center", {QStringLiteral("privacy")}},
        {"systemsettings", {}},
        {"xfce4-settings-manager", {}},
    };
    for (const Candidate& candidate : candidates) {
        const QString program =
            QStandardPaths::findExecutable(QString::fromLatin1(candidate.program));
        if (!program.isEmpty() && QProcess::startDetached(program, candidate.arguments)) {
            return true;
        }
    }
    return false;
}

}  // namespace mirelo::desktop
