#include "server/httplistener.h"

#include "core/wakeupsheldback.h"
#include "server/peerkey.h"

#include <QTcpServer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>

#include <unistd.h>

using namespace Qt::StringLiterals;
using Clock = HTTPConnection::Clock;

HTTPListener::HTTPListener(Handler handler, QObject *parent)
    : HTTPListener(std::move(handler), Limits{}, parent)
{}

HTTPListener::HTTPListener(Handler handler, Limits limits, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_limits(limits)
    , m_server(new QTcpServer(this))
    , m_readBuffer(size_t(HTTPConnection::kMaxReadSize))
    , m_readinessNotifier(m_readiness.descriptor(), QSocketNotifier::Read)
{
    m_server->setListenBacklogSize(m_limits.total);
    m_connections.reserve(size_t(m_limits.total));
    connect(&m_readinessNotifier, &QSocketNotifier::activated, this, &HTTPListener::processEvents);
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &HTTPListener::dropExpired);
}

HTTPListener::~HTTPListener() = default;

// QTcpServer binds and reports failures in Qt's words; accepting is done here, so that new
// connections and requests on open ones are seen together and no QTcpSocket is made for each.
bool HTTPListener::listen(const QHostAddress &address, quint16 port)
{
    if (m_readiness.descriptor() < 0 || !m_server->listen(address, port))
        return false;
    m_server->pauseAccepting();
    m_listening = int(m_server->socketDescriptor());
    watchListener(true);
    return true;
}

QAbstractSocket::SocketError HTTPListener::listenError() const
{
    return m_readiness.descriptor() < 0 ? QAbstractSocket::SocketResourceError : m_server->serverError();
}

QString HTTPListener::listenErrorString() const
{
    return m_readiness.descriptor() < 0 ? u"Out of resources"_s : m_server->errorString();
}

quint16 HTTPListener::port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void HTTPListener::stopListening()
{
    if (m_listening >= 0)
        watchListener(false);
    m_listening = -1;
    m_acceptPaused = false;
    m_server->close();
}

void HTTPListener::watchListener(bool watch)
{
    m_readiness.watch(m_listening, watch ? NativeSocket::none : NativeSocket::readable,
                      watch ? NativeSocket::readable : NativeSocket::none);
}

// Rounds go on while sockets are ready, up to a bound that lets the thread's event loop run: a round
// costs one call, a return through the event loop several. What the answers tell other threads
// reaches them once the answers are on the wire.
void HTTPListener::processEvents()
{
    constexpr int kMaxRounds = 8;
    const WakeupsHeldBack answering;
    std::array<NativeSocket::Event, 64> events;
    for (int round = 0; round < kMaxRounds; ++round) {
        const int count = m_readiness.take(events);
        if (count == 0)
            return;
        for (const NativeSocket::Event &event : std::span(events).first(size_t(count)))
            handle(event);
        answerReady();
    }
}

void HTTPListener::handle(const NativeSocket::Event &event)
{
    if (event.descriptor == m_listening) {
        acceptPending();
        return;
    }
    const auto entry = m_connections.find(event.descriptor);
    if (entry == m_connections.end())
        return;
    HTTPConnection &connection = *entry->second.connection;
    if (event.readable)
        connection.readAvailable(m_readBuffer);
    if (event.writable && connection.wantsToWrite())
        connection.writeAvailable();
    settle(entry);
}

void HTTPListener::acceptPending()
{
    while (m_listening >= 0) {
        sockaddr_storage address{};
        const int socket = NativeSocket::accept(m_listening, address);
        if (socket >= 0) {
            take(socket, QHostAddress(reinterpret_cast<const sockaddr *>(&address)));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        // Out of descriptors: wait for a connection to finish rather than spin on a ready socket.
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            watchListener(false);
            m_acceptPaused = true;
        }
        return;
    }
}

void HTTPListener::take(int socket, const QHostAddress &peer)
{
    QString key = peerKey(peer);
    if (m_connections.size() >= size_t(m_limits.total) || m_openByPeer.value(key) >= m_limits.perPeer) {
        ::close(socket);
        return;
    }
    ++m_openByPeer[key];
    const auto entry =
        m_connections
            .try_emplace(socket, Entry{std::make_unique<HTTPConnection>(socket, peer, m_limits.requestDeadline),
                                       std::move(key)})
            .first;
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start(m_limits.requestDeadline);
    // The request has usually arrived with the connection: read it without a round through the queue.
    entry->second.connection->readAvailable(m_readBuffer);
    settle(entry);
}

void HTTPListener::settle(Entries::iterator entry)
{
    const HTTPConnection &connection = *entry->second.connection;
    if (connection.phase() == HTTPConnection::Phase::finished) {
        drop(entry);
        return;
    }
    if (connection.phase() == HTTPConnection::Phase::requestReady) {
        if (!entry->second.queued)
            m_ready.push_back(entry->first);
        entry->second.queued = true;
        return;
    }
    const unsigned wanted = (connection.wantsToRead() ? NativeSocket::readable : NativeSocket::none)
                            | (connection.wantsToWrite() ? NativeSocket::writable : NativeSocket::none);
    if (m_readiness.watch(entry->first, entry->second.watched, wanted))
        entry->second.watched = wanted;
}

// A DJ's command must not wait behind the status polls that came in with it: the requests of one
// round of events that change something are answered first, then the reads, each in arrival order.
void HTTPListener::answerReady()
{
    std::stable_partition(m_ready.begin(), m_ready.end(), [this](int socket) {
        const auto entry = m_connections.find(socket);
        return entry != m_connections.end() && entry->second.connection->request().method != "GET"_L1;
    });
    for (const int socket : m_ready) {
        const auto entry = m_connections.find(socket);
        // Gone meanwhile, or the socket number already serves a newer connection.
        if (entry == m_connections.end()
            || entry->second.connection->phase() != HTTPConnection::Phase::requestReady)
            continue;
        entry->second.queued = false;
        HTTPConnection &connection = *entry->second.connection;
        connection.answer(m_handler(connection.request(), connection.peer()));
        settle(entry);
    }
    m_ready.clear();
}

// The timer runs only while connections are open, and fires no later than the earliest deadline:
// a connection's deadline is never earlier than those of the connections taken before it.
void HTTPListener::dropExpired()
{
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    for (auto entry = m_connections.begin(); entry != m_connections.end();) {
        const Clock::time_point deadline = entry->second.connection->deadline();
        if (deadline <= now) {
            entry = drop(entry);
            continue;
        }
        next = std::min(next.value_or(deadline), deadline);
        ++entry;
    }
    if (next)
        m_deadlineTimer.start(std::chrono::ceil<std::chrono::milliseconds>(*next - now));
}

HTTPListener::Entries::iterator HTTPListener::drop(Entries::iterator entry)
{
    const auto open = m_openByPeer.find(entry->second.peerKey);
    if (open != m_openByPeer.end() && --*open <= 0)
        m_openByPeer.erase(open);
    const auto next = m_connections.erase(entry);
    if (m_connections.empty())
        m_deadlineTimer.stop();
    if (m_acceptPaused && m_listening >= 0) {
        m_acceptPaused = false;
        watchListener(true);
    }
    return next;
}
