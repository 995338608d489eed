#include "server/httpconnection.h"

#include "server/nativesocket.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

HTTPConnection::HTTPConnection(int socket, const QHostAddress &peer, std::chrono::milliseconds deadline)
    : m_socket(socket)
    , m_peer(peer)
    , m_deadlineAfter(deadline)
    , m_deadline(Clock::now() + deadline)
{}

HTTPConnection::~HTTPConnection()
{
    ::close(m_socket);
}

bool HTTPConnection::wantsToRead() const
{
    return m_phase != Phase::finished && m_peerSending;
}

void HTTPConnection::readAvailable(std::span<char> scratch)
{
    while (wantsToRead()) {
        const ssize_t count = ::recv(m_socket, scratch.data(), scratch.size(), 0);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_phase = Phase::finished;
            return;
        }
        if (count == 0) {
            peerFinished();
            return;
        }
        // Whatever follows the request is read and dropped.
        if (m_phase == Phase::reading)
            parse(QByteArrayView(scratch.data(), count));
        // A short read took all there was; the readiness queue reports what comes later.
        if (size_t(count) < scratch.size())
            return;
    }
}

void HTTPConnection::parse(QByteArrayView bytes)
{
    HTTPRequestParser::Result result = m_parser.append(bytes);
    switch (result.outcome) {
    case HTTPRequestParser::Outcome::incomplete:
        break;
    case HTTPRequestParser::Outcome::complete:
        m_request = std::move(result.request);
        m_phase = Phase::requestReady;
        break;
    case HTTPRequestParser::Outcome::tooLarge:
        // The peer is likely still sending the rest.
        send(HTTPResponse::json(400, {{u"ok"_s, false}, {u"message"_s, u"Request too large."_s}}).encoded(),
             AfterSending::drainInput);
        break;
    case HTTPRequestParser::Outcome::malformed:
        m_phase = Phase::finished;
        break;
    }
}

void HTTPConnection::answer(const HTTPResponse &response)
{
    send(response.encoded(), AfterSending::close);
}

void HTTPConnection::send(QByteArray bytes, AfterSending after)
{
    m_phase = Phase::sending;
    m_afterSending = after;
    m_deadline = Clock::now() + m_deadlineAfter;
    m_output = std::move(bytes);
    m_sent = 0;
    writeAvailable();
}

// The answer is the last output: once it is all with the system the connection closes. A peer that
// may still be sending first sees the sending side shut, and the connection finishes when the peer
// closes its side (or at the deadline): closing with its bytes unread would reset the connection,
// and the peer could lose the answer.
void HTTPConnection::writeAvailable()
{
    while (m_phase == Phase::sending && m_sent < m_output.size()) {
        const ssize_t count =
            NativeSocket::send(m_socket, m_output.constData() + m_sent, size_t(m_output.size() - m_sent));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_phase = Phase::finished;
            return;
        }
        m_sent += count;
    }
    if (m_phase != Phase::sending)
        return;
    m_output = QByteArray();
    if (m_afterSending == AfterSending::close || !m_peerSending || ::shutdown(m_socket, SHUT_WR) != 0)
        m_phase = Phase::finished;
    else
        m_phase = Phase::draining;
}

// Before a whole request, or after the answer, the peer closing ends the connection; while the
// answer is on its way the peer may still read it.
void HTTPConnection::peerFinished()
{
    m_peerSending = false;
    if (m_phase == Phase::reading || m_phase == Phase::draining)
        m_phase = Phase::finished;
}
