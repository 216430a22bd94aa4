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

#include <memory>

namespace mirelo::desktop {

namespace {

// A file manager being started on demand by the bus may take a while; the
// fallback opens the folder if no answer comes in time.
constexpr int kRevealTimeoutMs = 5000;

}  // namespace

void openFolder(const QString& folder, std::function<void()> failed) {
    const QUrl url = QUrl::fromLocalFile(folder);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url) && failed) {
            failed();
        }
        return;
    }
    // xdg-open says by its exit status whether anything could open the
    // folder; the desktop-services call only says whether it started.
    auto* process = new QProcess;
    auto done = std::make_shared<bool>(false);
    auto finish = [process, done, failed](bool ok) {
        if (*done) {
            return;
        }
        *done = true;
        if (!ok && failed) {
            failed();
        }
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [finish](int code, QProcess::ExitStatus status) {
                         finish(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             finish(false);
                         }
                     });
    process->start(opener, {url.toLocalFile()});
}

void revealFile(const QString& path, std::function<void()> unrevealed) {
    const QString folder = QFileInfo(path).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder, std::move(unrevealed));
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
                     [folder, unrevealed](QDBusPendingCallWatcher* self) {
                         if (self->isError()) {
                             openFolder(folder, unrevealed);
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
