#include "soakpeers.h"

#include <QRandomGenerator>
#include <QTcpSocket>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kExchangeTimeoutMSecs = 15'000;
constexpr int kIdleConnections = 200;
constexpr int kIdleSourceAddresses = 8;
constexpr int kDripConnections = 4;

QTcpSocket *connectFrom(QObject *parent, const QHostAddress &source, quint16 port)
{
    auto *socket = new QTcpSocket(parent);
    socket->bind(source);
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

QHostAddress loopback(int lastByte)
{
    return QHostAddress(u"127.0.0.%1"_s.arg(lastByte));
}

} // namespace

void exchange(QObject *context, const QHostAddress &source, quint16 port, const QByteArray &request,
              std::function<void(const QByteArray &)> done)
{
    QTcpSocket *socket = connectFrom(context, source, port);
    auto *timeout = new QTimer(socket);
    const auto received = std::make_shared<QByteArray>();
    const auto finish = [socket, timeout, received, done](bool closed) {
        timeout->stop();
        socket->disconnect();
        if (closed)
            received->append(socket->readAll());
        done(closed ? *received : QByteArray());
        socket->abort();
        socket->deleteLater();
    };
    QObject::connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
    QObject::connect(socket, &QTcpSocket::readyRead, socket,
                     [socket, received] { received->append(socket->readAll()); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(true); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket, finish](QAbstractSocket::SocketError error) {
                         // The server closing is no failure; the disconnected signal follows it.
                         if (error != QAbstractSocket::RemoteHostClosedError
                             || socket->state() == QAbstractSocket::UnconnectedState)
                             finish(error == QAbstractSocket::RemoteHostClosedError);
                     });
    QObject::connect(timeout, &QTimer::timeout, socket, [finish] { finish(false); });
    timeout->start(kExchangeTimeoutMSecs);
}

SimulatedPhone::SimulatedPhone(int number, QString token, quint16 port, QObject *parent)
    : QObject(parent)
    , m_number(number)
    , m_token(std::move(token))
    , m_port(port)
{
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { send(m_status, "GET", "/api/status"); });
    connect(&m_commandTimer, &QTimer::timeout, this, [this] {
        const QByteArray command = m_commandsSent++ % 2 == 0 ? "play" : "pause";
        const QByteArray deck = m_number % 2 == 0 ? "left" : "right";
        send(m_commands, "POST", "/api/command",
             R"({"command":")" + command + R"(","deck":")" + deck + R"("})");
    });
    connect(&m_scriptTimer, &QTimer::timeout, this, [this] {
        QByteArray script = "[CUE] Vows, saved by phone " + QByteArray::number(m_number) + ' '
                            + QByteArray::number(m_scripts.sent) + '\n' + QByteArray(2000, 'x');
        send(m_scripts, "POST", "/api/script", R"({"script":")" + script.replace('\n', "\\n") + R"("})");
    });
    m_statusTimer.start(1000);
    m_commandTimer.start(5000);
    m_scriptTimer.start(30'000);
}

void SimulatedPhone::stop()
{
    m_statusTimer.stop();
    m_commandTimer.stop();
    m_scriptTimer.stop();
}

qint64 SimulatedPhone::unanswered() const
{
    return m_status.sent - m_status.answered + m_commands.sent - m_commands.answered + m_scripts.sent
           - m_scripts.answered;
}

void SimulatedPhone::send(RequestCounts &counts, const QByteArray &method, const QByteArray &path,
                          const QByteArray &body)
{
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port)
                         + "\r\nAuthorization: Bearer " + m_token.toLatin1() + "\r\n";
    if (!body.isEmpty())
        request +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;
    ++counts.sent;
    exchange(this, QHostAddress::LocalHost, m_port, request, [&counts, path](const QByteArray &answer) {
        if (answer.startsWith("HTTP/1.1 200 "))
            ++counts.answered;
        else
            qWarning("a phone's %s was not answered with 200: %s", path.constData(),
                     answer.left(200).constData());
    });
}

HostilePeers::HostilePeers(quint16 port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    // Spread over the server's 10-second deadline, so that they do not all close at one moment.
    for (int index = 0; index < kIdleConnections; ++index) {
        QTimer::singleShot(index * 50, this, [this, index] {
            keepOpen(loopback(10 + index % kIdleSourceAddresses), Kind::idle);
        });
    }
    for (int index = 0; index < kDripConnections; ++index)
        keepOpen(loopback(4), Kind::drip);
    connect(&m_randomTimer, &QTimer::timeout, this, &HostilePeers::sendRandomBytes);
    m_randomTimer.start(1000);
}

void HostilePeers::stop()
{
    m_stopped = true;
    m_randomTimer.stop();
    for (QTcpSocket *socket : findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly)) {
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }
}

// An idle peer sends nothing, a dripping one a header that never ends, one byte every half second.
// Whenever the server closes the connection it comes back; refused, it tries again a second later.
void HostilePeers::keepOpen(const QHostAddress &source, Kind kind)
{
    if (m_stopped)
        return;
    ++(kind == Kind::idle ? m_idleConnections : m_dripConnections);
    QTcpSocket *socket = connectFrom(this, source, m_port);
    if (kind == Kind::drip) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, written = qsizetype(0)]() mutable {
            static const QByteArray kHead = "GET /api/status HTTP/1.1\r\nX-Drip: " + QByteArray(1000, 'a');
            socket->write(kHead.mid(written++ % kHead.size(), 1));
        });
        connect(socket, &QTcpSocket::connected, timer, [timer] { timer->start(500); });
    }
    const auto reopen = [this, socket, source, kind](int delayMSecs) {
        socket->disconnect(this);
        socket->deleteLater();
        QTimer::singleShot(delayMSecs, this, [this, source, kind] { keepOpen(source, kind); });
    };
    connect(socket, &QTcpSocket::disconnected, this, [reopen] { reopen(100); });
    connect(socket, &QTcpSocket::errorOccurred, this, [socket, reopen](QAbstractSocket::SocketError) {
        if (socket->state() == QAbstractSocket::UnconnectedState)
            reopen(1000);
    });
}

void HostilePeers::sendRandomBytes()
{
    ++m_randomConnections;
    QByteArray bytes(QRandomGenerator::global()->bounded(1024, 4097), Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    exchange(this, loopback(3), m_port, bytes, [](const QByteArray &) {});
}
