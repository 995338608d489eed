#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kShowRequest = "show\n";
constexpr QByteArrayView kAcknowledgement = "ok\n";
constexpr int kConnectTimeoutMs = 2000;
// A connector busy starting up still answers within this; past it the hand-over counts as done.
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kLockTimeoutMs = 15000;

} // namespace

QString instanceSocketName(const QString &userName, const QString &settingsFile)
{
    const QByteArray key = userName.toUtf8() + '\n' + QFileInfo(settingsFile).absoluteFilePath().toUtf8();
    return u"tarvik-dj-connector-"_s
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

QString instanceSocketPath(const QString &settingsFile)
{
    // The runtime folder belongs to the user alone, so nobody else can take the name there.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return folder + u'/' + instanceSocketName(QString::number(::getuid()), settingsFile);
}

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection())
            answer(socket);
    });
}

SingleInstance::Claim SingleInstance::claim()
{
    // Two launches at once must not both find the socket dead and both take it over.
    QLockFile lock(m_socketPath + u".lock"_s);
    lock.tryLock(kLockTimeoutMs);

    QLocalSocket running;
    running.connectToServer(m_socketPath);
    if (running.waitForConnected(kConnectTimeoutMs)) {
        running.write(kShowRequest.data(), kShowRequest.size());
        running.waitForBytesWritten(kAnswerTimeoutMs);
        running.waitForReadyRead(kAnswerTimeoutMs);
        return Claim::handedOver;
    }

    // Nobody answers: whatever stands at the path was left by a connector that did not stop cleanly.
    QLocalServer::removeServer(m_socketPath);
    m_server.listen(m_socketPath);
    return Claim::first;
}

void SingleInstance::answer(QLocalSocket *socket)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kShowRequest.size())
                socket->abort();
            return;
        }
        const QByteArray request = socket->readLine();
        if (request == kShowRequest)
            Q_EMIT showRequested();
        socket->write(kAcknowledgement.data(), kAcknowledgement.size());
        socket->disconnectFromServer();
    });
}
