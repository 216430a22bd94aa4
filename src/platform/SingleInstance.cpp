#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

#include <unistd.h>

namespace mirelo {

namespace {

const QByteArray kRequest = "show\n";
const QByteArray kAnswer = "ok\n";
// "open", then each path percent-encoded after a space, on one line.
const QByteArray kOpen = "open";

QByteArray openRequest(const QStringList& files) {
    QByteArray line = kOpen;
    for (const QString& file : files) {
        line += ' ' + QUrl::toPercentEncoding(file);
    }
    return line + '\n';
}

}  // namespace

QString SingleInstance::defaultKey() {
    QString display = qEnvironmentVariable("DISPLAY");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('.')) {
            c = QLatin1Char('_');
        }
    }
    const QString name = QStringLiteral("mirelo-%1-%2").arg(getuid()).arg(display);
    // The user's runtime folder is private to them; without one the socket
    // goes to the temporary folder, where the uid in its name keeps users apart.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return QDir(runtime).filePath(name);
    }
    return name;
}

SingleInstance::SingleInstance(QString key, QObject* parent)
    : QObject(parent), m_key(std::move(key)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunning(int timeoutMs, const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(files.isEmpty() ? kRequest : openRequest(files));
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // The answer shows the first instance is alive and has the request.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs)) {
        answer += socket.readAll();
    }
    return answer == kAnswer;
}

bool SingleInstance::listen() {
    if (m_server) {
        return m_server->isListening();
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    if (m_server->listen(m_key)) {
        return true;
    }
    // Nobody answered on it (notifyRunning() came first): a socket left by
    // an instance that ended without cleaning up.
    QLocalServer::removeServer(m_key);
    return m_server->listen(m_key);
}

void SingleInstance::onConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray line = socket->readLine();
            if (line == kRequest) {
                socket->write(kAnswer);
                socket->flush();
                emit activationRequested();
            } else if (line.startsWith(kOpen + ' ') && line.endsWith('\n')) {
                QStringList files;
                for (const QByteArray& part : line.chopped(1).split(' ').mid(1)) {
                    if (!part.isEmpty()) {
                        files << QUrl::fromPercentEncoding(part);
                    }
                }
                socket->write(kAnswer);
                socket->flush();
                emit openRequested(files);
            }
            socket->disconnectFromServer();
        });
    }
}

}  // namespace mirelo
