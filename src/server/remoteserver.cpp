#include "server/remoteserver.h"

#include "core/connectorconstants.h"
#include "core/mainthread.h"
#include "server/serviceadvertisement.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace {

// Runs f on the context's thread and waits for it; directly when already there.
template<typename F> void runOn(QObject *context, F f)
{
    if (QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, f, Qt::BlockingQueuedConnection);
}

// Failures of making the socket at all, as opposed to binding it to the port.
bool isCreationError(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::SocketResourceError
           || error == QAbstractSocket::UnsupportedSocketOperationError;
}

} // namespace

RemoteServer::RemoteServer(DJPlatform platform, std::shared_ptr<CommandRouter> router)
    : RemoteServer(platform, std::move(router), Options{})
{}

RemoteServer::RemoteServer(DJPlatform platform, std::shared_ptr<CommandRouter> router, Options options)
    : m_platform(platform)
    , m_api(platform, std::move(router), options.clock ? options.clock : std::make_shared<SystemClock>())
    , m_port(options.port.value_or(port(platform)))
    , m_address(options.address)
    , m_limits(options.limits)
    , m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_thread->setObjectName(queueLabel(platform));
    m_context->moveToThread(m_thread.get());
    m_thread->start(QThread::HighPriority);
}

RemoteServer::~RemoteServer()
{
    if (!m_thread->isRunning()) {
        delete m_context;
        return;
    }
    if (QThread::currentThread() == m_thread.get()) {
        // The last reference went while this thread answered a request: a thread cannot wait for
        // itself, so it tears down when its loop ends and the thread object goes on the main thread.
        m_context->deleteLater();
        QThread *thread = m_thread.release();
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->quit();
        return;
    }
    QObject *context = m_context;
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

QString RemoteServer::queueLabel(DJPlatform platform)
{
    return ConnectorConstants::identifierPrefix() + rawValue(platform) + u".http"_s;
}

void RemoteServer::setOnStatus(std::function<void(const QString &)> onStatus)
{
    const QMutexLocker locker(&m_onStatusMutex);
    m_onStatus = std::move(onStatus);
}

void RemoteServer::start()
{
    if (m_port < 0 || m_port > 65535) {
        report(u"Invalid connector port."_s);
        return;
    }
    if (!m_thread->isRunning()) {
        report(u"Connector could not start: the server thread could not be created."_s);
        return;
    }
    ListenOutcome outcome;
    runOn(m_context, [this, &outcome, self = weak_from_this()] { outcome = listenOnServerThread(self); });

    if (outcome.listening)
        reportOnMainThread(readyLine(outcome.advertised));
    else if (isCreationError(outcome.error))
        report(u"Connector could not start: "_s + outcome.errorString);
    else
        reportOnMainThread(u"Could not start: "_s + outcome.errorString
                           + u". Close any other DJ Connector using port "_s + QString::number(m_port)
                           + u"."_s);
}

void RemoteServer::stop()
{
    if (m_thread->isRunning())
        runOn(m_context, [this] { stopOnServerThread(); });
}

HTTPResponse RemoteServer::response(const HTTPRequest &request, const QHostAddress &peer)
{
    return m_api.response(request, peer);
}

RemoteServer::ListenOutcome RemoteServer::listenOnServerThread(const std::weak_ptr<RemoteServer> &self)
{
    if (!m_listener) {
        m_listener = new HTTPListener(
            [self](const HTTPRequest &request, const QHostAddress &peer) {
                if (const std::shared_ptr<RemoteServer> server = self.lock())
                    return server->response(request, peer);
                return HTTPResponse::serverError();
            },
            m_limits, m_context);
    }
    if (!m_listener->port() && !m_listener->listen(m_address, quint16(m_port)))
        return {false, m_listener->listenError(), m_listener->listenErrorString(), false};
    m_boundPort = m_listener->port();

    if (!m_advertisement) {
        m_advertisement = new ServiceAdvertisement(serviceName(m_platform), bonjourType(m_platform),
                                                   m_boundPort, m_context);
        QObject::connect(m_advertisement, &ServiceAdvertisement::failed, m_context, [self] {
            if (const std::shared_ptr<RemoteServer> server = self.lock())
                server->reportOnMainThread(server->readyLine(false));
        });
        if (!m_advertisement->start()) {
            delete m_advertisement;
            m_advertisement = nullptr;
        }
    }
    return {true, QAbstractSocket::UnknownSocketError, {}, m_advertisement != nullptr};
}

void RemoteServer::stopOnServerThread()
{
    if (m_listener)
        m_listener->stopListening();
    m_boundPort = 0;
    delete m_advertisement;
    m_advertisement = nullptr;
}

QString RemoteServer::readyLine(bool discoverable) const
{
    const QString line = u"Ready on private network port "_s + QString::number(m_boundPort.load());
    if (discoverable)
        return line;
    return line + u". Automatic discovery is unavailable; the manual address still works."_s;
}

void RemoteServer::report(const QString &line)
{
    std::function<void(const QString &)> onStatus;
    {
        const QMutexLocker locker(&m_onStatusMutex);
        onStatus = m_onStatus;
    }
    if (onStatus)
        onStatus(line);
}

void RemoteServer::reportOnMainThread(const QString &line)
{
    postToMainThread([self = weak_from_this(), line] {
        if (const std::shared_ptr<RemoteServer> server = self.lock())
            server->report(line);
    });
}
