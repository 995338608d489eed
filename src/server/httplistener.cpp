#include "server/httplistener.h"

#include "server/peerkey.h"

#include <QTcpServer>
#include <QTcpSocket>

HTTPListener::HTTPListener(Handler handler, QObject *parent)
    : HTTPListener(std::move(handler), Limits{}, parent)
{}

HTTPListener::HTTPListener(Handler handler, Limits limits, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_limits(limits)
    , m_server(new QTcpServer(this))
{
    m_server->setListenBacklogSize(m_limits.total);
    connect(m_server, &QTcpServer::newConnection, this, &HTTPListener::acceptPending);
}

HTTPListener::~HTTPListener()
{
    // Children go with this object; their onFinish must not reach into a half-destroyed table.
    for (HTTPConnection *connection : std::as_const(m_connections))
        delete connection;
}

bool HTTPListener::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

QAbstractSocket::SocketError HTTPListener::listenError() const
{
    return m_server->serverError();
}

QString HTTPListener::listenErrorString() const
{
    return m_server->errorString();
}

quint16 HTTPListener::port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void HTTPListener::stopListening()
{
    m_server->close();
}

void HTTPListener::acceptPending()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        const QString key = peerKey(peer);
        if (m_connections.size() >= m_limits.total || m_openByPeer.value(key) >= m_limits.perPeer) {
            socket->abort();
            delete socket;
            continue;
        }
        const QUuid id = QUuid::createUuid();
        auto *connection = new HTTPConnection(
            socket, [this, peer](const HTTPRequest &request) { return m_handler(request, peer); },
            [this, id, key] { drop(id, key); }, m_limits.requestDeadline, this);
        m_connections.insert(id, connection);
        ++m_openByPeer[key];
        connection->start();
    }
}

void HTTPListener::drop(const QUuid &id, const QString &peer)
{
    if (HTTPConnection *connection = m_connections.take(id))
        connection->deleteLater();
    if (--m_openByPeer[peer] <= 0)
        m_openByPeer.remove(peer);
}
