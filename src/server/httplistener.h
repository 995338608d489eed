#pragma once

#include "server/httpconnection.h"
#include "server/nativesocket.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QTcpServer;

// Accepts TCP connections and serves each with its own HTTPConnection, keyed by its socket. One
// readiness queue on the server thread's event loop drives every socket: no per-connection objects
// in the event loop, and one timer, running only while connections are open, for their deadlines.
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
    struct Entry
    {
        std::unique_ptr<HTTPConnection> connection;
        QString peerKey;
        unsigned watched = NativeSocket::none;
        bool queued = false;
    };
    using Entries = std::unordered_map<int, Entry>;

    void processEvents();
    void handle(const NativeSocket::Event &event);
    void acceptPending();
    void take(int socket, const QHostAddress &peer);
    // After the connection has moved on: queues its request, watches what it waits for, or drops it.
    void settle(Entries::iterator entry);
    void answerReady();
    void dropExpired();
    Entries::iterator drop(Entries::iterator entry);
    void watchListener(bool watch);

    Handler m_handler;
    Limits m_limits;
    QTcpServer *m_server;
    int m_listening = -1;
    bool m_acceptPaused = false;
    Entries m_connections;
    QHash<QString, int> m_openByPeer;
    // Sockets whose whole request has arrived in this round of events.
    std::vector<int> m_ready;
    std::vector<char> m_readBuffer;
    NativeSocket::ReadinessQueue m_readiness;
    // Declared after the queue it watches, so it goes first.
    QSocketNotifier m_readinessNotifier;
    QTimer m_deadlineTimer;
};
