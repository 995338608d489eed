#pragma once

#include "core/clock.h"
#include "core/djplatform.h"
#include "server/httplistener.h"
#include "server/httprequest.h"
#include "server/httpresponse.h"
#include "server/remoteapi.h"

#include <QHostAddress>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CommandRouter;
class QThread;
class ServiceAdvertisement;

// The connector's network endpoint for one platform: a TCP listener on the platform's port, its
// DNS-SD advertisement and the status lines about both. Owned through a shared_ptr; its public calls
// come from the main thread. The listener, every connection and the answering of requests live on
// the server's own thread, named after its queue label; status lines arrive on the main thread.
class RemoteServer : public std::enable_shared_from_this<RemoteServer>
{
public:
    struct Options
    {
        // The platform's port when absent; 0 picks a free one.
        std::optional<int> port;
        QHostAddress address = QHostAddress::Any;
        std::shared_ptr<const Clock> clock;
        HTTPListener::Limits limits;
    };

    RemoteServer(DJPlatform platform, std::shared_ptr<CommandRouter> router);
    RemoteServer(DJPlatform platform, std::shared_ptr<CommandRouter> router, Options options);
    // Stops the server thread; connections still open are dropped without an answer.
    ~RemoteServer();

    RemoteServer(const RemoteServer &) = delete;
    RemoteServer &operator=(const RemoteServer &) = delete;

    static QString queueLabel(DJPlatform platform);

    void setOnStatus(std::function<void(const QString &line)> onStatus);
    // Listens and advertises; every outcome is reported as a status line.
    void start();
    // Stops listening and withdraws the advertisement; open connections finish on their own.
    void stop();

    // The answer to one request. Called on the server thread; a test without a started server may
    // call it from its own thread.
    HTTPResponse response(const HTTPRequest &request, const QHostAddress &peer);

    // The bound port while listening, else 0.
    quint16 serverPort() const { return m_boundPort.load(); }

private:
    struct ListenOutcome
    {
        bool listening = false;
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        QString errorString;
        bool advertised = false;
    };

    ListenOutcome listenOnServerThread(const std::weak_ptr<RemoteServer> &self);
    void stopOnServerThread();
    QString readyLine(bool discoverable) const;
    void report(const QString &line);
    // Queues the line for the main thread, where the server is looked up again.
    void reportOnMainThread(const QString &line);

    DJPlatform m_platform;
    RemoteAPI m_api;
    int m_port;
    QHostAddress m_address;
    HTTPListener::Limits m_limits;
    std::unique_ptr<QThread> m_thread;
    // Lives on the server thread and parents everything that does.
    QObject *m_context;
    HTTPListener *m_listener = nullptr;
    ServiceAdvertisement *m_advertisement = nullptr;
    std::atomic<quint16> m_boundPort = 0;
    QMutex m_onStatusMutex;
    std::function<void(const QString &)> m_onStatus;
};
