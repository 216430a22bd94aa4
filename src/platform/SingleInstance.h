#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace mirelo {

// One running Mirelo per user and display. The first process listens on a
// local socket; a later one finds it there, asks it to come forward and
// exits.
//
// Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `key` names the socket; the default one is private to the user and
    // the display.
    explicit SingleInstance(QString key = defaultKey(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks a running instance to come forward, or, with `files` (absolute paths), to open
    // them. True when one answered: this process is the second and should end.
    bool notifyRunning(int timeoutMs = 3000, const QStringList& files = {});
    // Takes the socket, replacing one a crashed instance left behind.
    // False when that fails (the application then runs on, unguarded).
    bool listen();

    static QString defaultKey();

signals:
    // A second launch asked this instance to come forward.
    void activationRequested();
    // A later launch named files to open (absolute paths).
    void openRequested(const QStringList& files);

private:
    void onConnection();

    QString m_key;
    QLocalServer* m_server = nullptr;
};

}  // namespace mirelo
