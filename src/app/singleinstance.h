#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running connector per user and settings file. The first launch listens on a local socket; a
// later launch hands its request over through that socket and leaves. A launch with another settings
// file (another home, as tests use) is another connector. Lives on the main thread.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Claim {
        // This process is the connector: it listens for later launches.
        first,
        // Another connector runs and was asked to show its window.
        handedOver,
    };

    explicit SingleInstance(QString socketPath, QObject *parent = nullptr);

    // Connects to a running connector, or else takes the socket over, also from a crashed one. A
    // socket that cannot be created leaves this process running without the hand-over.
    Claim claim();

Q_SIGNALS:
    // Another launch asked this connector to show its window.
    void showRequested();

private:
    void answer(QLocalSocket *socket);

    QString m_socketPath;
    QLocalServer m_server;
};

// The socket's file name for a user and a settings file: the same pair always gives the same name.
QString instanceSocketName(const QString &userName, const QString &settingsFile);

// Where the socket lives: the user's private runtime folder, or the temporary folder without one.
QString instanceSocketPath(const QString &settingsFile);
