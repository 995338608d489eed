#include "server/httpconnection.h"

#include <QTcpSocket>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

HTTPConnection::HTTPConnection(QTcpSocket *socket, Handler handler, std::function<void()> onFinish,
                               std::chrono::milliseconds deadline, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(std::move(handler))
    , m_onFinish(std::move(onFinish))
    , m_deadline(deadline)
{
    m_socket->setParent(this);
    // Qt then never holds more than one read's worth of unread bytes for us.
    m_socket->setReadBufferSize(kMaxReadSize);
    m_deadlineTimer.setSingleShot(true);
}

void HTTPConnection::start()
{
    connect(m_socket, &QTcpSocket::readyRead, this, &HTTPConnection::readAvailable);
    connect(m_socket, &QTcpSocket::disconnected, this, &HTTPConnection::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HTTPConnection::finish);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &HTTPConnection::finish);
    m_deadlineTimer.start(m_deadline);
    readAvailable();
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        finish();
}

void HTTPConnection::readAvailable()
{
    while (m_phase == Phase::reading && m_socket->bytesAvailable() > 0) {
        const HTTPRequestParser::Result result = m_parser.append(m_socket->read(kMaxReadSize));
        switch (result.outcome) {
        case HTTPRequestParser::Outcome::incomplete:
            break;
        case HTTPRequestParser::Outcome::complete:
            send(m_handler(result.request), AfterSending::close);
            break;
        case HTTPRequestParser::Outcome::tooLarge:
            // The peer is likely still sending the rest.
            send(HTTPResponse::json(400, {{u"ok"_s, false}, {u"message"_s, u"Request too large."_s}}),
                 AfterSending::drainInput);
            break;
        case HTTPRequestParser::Outcome::malformed:
            finish();
            return;
        }
    }
    // Whatever follows the request is read and dropped.
    if (m_phase == Phase::sending || m_phase == Phase::draining)
        m_socket->skip(m_socket->bytesAvailable());
}

void HTTPConnection::send(const HTTPResponse &response, AfterSending after)
{
    m_phase = Phase::sending;
    m_afterSending = after;
    m_deadlineTimer.start(m_deadline);
    m_socket->write(response.encoded());
    m_socket->flush();
    // Connected only now, so the socket is never closed from inside its own flush().
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HTTPConnection::closeOutputWhenSent);
    closeOutputWhenSent();
}

// The answer is the last output: once it is all with the system the connection closes. A peer that
// may still be sending first sees the sending side shut, and the connection finishes when the peer
// closes its side (or at the deadline): closing with its bytes unread would reset the connection,
// and the peer could lose the answer.
void HTTPConnection::closeOutputWhenSent()
{
    if (m_phase != Phase::sending || m_socket->bytesToWrite() > 0)
        return;
    if (m_afterSending == AfterSending::close) {
        finish();
        return;
    }
    m_phase = Phase::draining;
    if (::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR) != 0)
        finish();
}

void HTTPConnection::finish()
{
    if (m_phase == Phase::finished)
        return;
    m_phase = Phase::finished;
    m_deadlineTimer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    if (m_onFinish)
        m_onFinish();
}
