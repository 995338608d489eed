#pragma once

#include "server/httpconnection.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QUuid>

#include <chrono>
#include <functional>

class QTcpServer;

// Accepts TCP connections and serves each with its own HTTPConnection, keyed by a random UUID.
// Lives on the server thread; every call comes from there.
class HTTPListener : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HTTPResponse(const HTTPRequest &, const QHostAddress &peer)>;

    // One misbehaving client must not exhaust descriptors or starve the DJ's phone: a connection
    // beyond either count is closed at once.
    struct Limits
    {
        int perPeer = 32;
        int total = 256;
        std::chrono::milliseconds requestDeadline = HTTPConnection::kDefaultDeadline;
    };

    explicit HTTPListener(Handler handler, QObject *parent = nullptr);
    HTTPListener(Handler handler, Limits limits, QObject *parent = nullptr);
    // Drops the connections still open, without calling anyone.
    ~HTTPListener() override;

    // Address reuse is on: QTcpServer sets it on every Unix listening socket.
    bool listen(const QHostAddress &address, quint16 port);
    QAbstractSocket::SocketError listenError() const;
    QString listenErrorString() const;
    // The bound port while listening, else 0.
    quint16 port() const;
    // Stops taking connections; the open ones finish on their own.
    void stopListening();

    int openConnectionCount() const { return int(m_connections.size()); }

private:
    void acceptPending();
    void drop(const QUuid &id, const QString &peer);

    Handler m_handler;
    Limits m_limits;
    QTcpServer *m_server;
    QHash<QUuid, HTTPConnection *> m_connections;
    QHash<QString, int> m_openByPeer;
};
