#include "server/httplistener.h"
#include "server/peerkey.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Sockets = std::vector<std::unique_ptr<QTcpSocket>>;

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(10'000))
        qWarning("could not connect");
    return socket;
}

// Sends one request and returns everything until the server closes its side.
QByteArray exchange(QTcpSocket &socket, const QByteArray &request)
{
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { received += socket.readAll(); });
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.write(request);
    if (socket.state() == QAbstractSocket::ConnectedState && !closed.wait(30'000))
        qWarning("server did not close the connection");
    return received + socket.readAll();
}

bool closedByServer(QTcpSocket &socket)
{
    if (socket.state() != QAbstractSocket::UnconnectedState) {
        QSignalSpy closed(&socket, &QTcpSocket::disconnected);
        closed.wait(30'000);
    }
    return socket.state() == QAbstractSocket::UnconnectedState && socket.readAll().isEmpty();
}

} // namespace

class HTTPListenerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void servesRequest_withPeerAddress();
    void closesAtOnce_beyondPerPeerLimit();
    void closesAtOnce_beyondTotalLimit();
    void dropsFinishedConnectionsFromTable();
    void stopListening_letsOpenConnectionsFinish();
    void listen_failsOnTakenPort();
    void destruction_closesOpenConnections();
    void peerKey_data();
    void peerKey();

private:
    HTTPResponse answer(const HTTPRequest &request, const QHostAddress &peer);

    QList<QHostAddress> m_peers;
};

void HTTPListenerTest::init()
{
    m_peers.clear();
}

HTTPResponse HTTPListenerTest::answer(const HTTPRequest &request, const QHostAddress &peer)
{
    m_peers.append(peer);
    return HTTPResponse::json(200, {{u"ok"_s, true}, {u"path"_s, request.path}});
}

void HTTPListenerTest::servesRequest_withPeerAddress()
{
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); });
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    QVERIFY(listener.port() != 0);
    auto client = connectTo(listener.port());
    const QByteArray response = exchange(*client, "GET /api/status HTTP/1.1\r\n\r\n");
    QVERIFY(response.endsWith(R"({"ok":true,"path":"/api/status"})"));
    QCOMPARE(m_peers.size(), 1);
    QCOMPARE(m_peers.first(), QHostAddress(QHostAddress::LocalHost));
}

void HTTPListenerTest::closesAtOnce_beyondPerPeerLimit()
{
    const HTTPListener::Limits defaults;
    QCOMPARE(defaults.perPeer, 32);
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); });
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Sockets idle;
    for (int index = 0; index < defaults.perPeer; ++index)
        idle.push_back(connectTo(listener.port()));
    QTRY_COMPARE(listener.openConnectionCount(), defaults.perPeer);

    auto refused = connectTo(listener.port());
    QVERIFY(closedByServer(*refused));
    QCOMPARE(listener.openConnectionCount(), defaults.perPeer);

    // The connections already taken are still served, and a freed place is taken again.
    QVERIFY(exchange(*idle.front(), "GET /first HTTP/1.1\r\n\r\n").endsWith(R"("path":"/first"})"));
    idle.front()->close();
    QTRY_COMPARE(listener.openConnectionCount(), defaults.perPeer - 1);
    auto accepted = connectTo(listener.port());
    QVERIFY(exchange(*accepted, "GET /again HTTP/1.1\r\n\r\n").endsWith(R"("path":"/again"})"));
}

void HTTPListenerTest::closesAtOnce_beyondTotalLimit()
{
    QCOMPARE(HTTPListener::Limits().total, 256);
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); },
        HTTPListener::Limits{10, 3, HTTPConnection::kDefaultDeadline});
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Sockets idle;
    for (int index = 0; index < 3; ++index)
        idle.push_back(connectTo(listener.port()));
    QTRY_COMPARE(listener.openConnectionCount(), 3);
    auto refused = connectTo(listener.port());
    QVERIFY(closedByServer(*refused));
    QCOMPARE(listener.openConnectionCount(), 3);
}

void HTTPListenerTest::dropsFinishedConnectionsFromTable()
{
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); },
        HTTPListener::Limits{32, 256, 200ms});
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    auto answered = connectTo(listener.port());
    auto idle = connectTo(listener.port());
    auto leaving = connectTo(listener.port());
    QTRY_COMPARE(listener.openConnectionCount(), 3);
    leaving->close();
    QVERIFY(!exchange(*answered, "GET / HTTP/1.1\r\n\r\n").isEmpty());
    QVERIFY(closedByServer(*idle));
    QTRY_COMPARE(listener.openConnectionCount(), 0);
}

void HTTPListenerTest::stopListening_letsOpenConnectionsFinish()
{
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); });
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    const quint16 port = listener.port();
    auto open = connectTo(port);
    QTRY_COMPARE(listener.openConnectionCount(), 1);
    listener.stopListening();
    QCOMPARE(listener.port(), quint16(0));

    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(10'000));
    QVERIFY(exchange(*open, "GET /still HTTP/1.1\r\n\r\n").endsWith(R"("path":"/still"})"));
}

void HTTPListenerTest::listen_failsOnTakenPort()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, 0));
    HTTPListener listener(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); });
    QVERIFY(!listener.listen(QHostAddress::LocalHost, other.serverPort()));
    QCOMPARE(listener.listenError(), QAbstractSocket::AddressInUseError);
    QVERIFY(!listener.listenErrorString().isEmpty());
}

void HTTPListenerTest::destruction_closesOpenConnections()
{
    auto listener = std::make_unique<HTTPListener>(
        [this](const HTTPRequest &request, const QHostAddress &peer) { return answer(request, peer); });
    QVERIFY(listener->listen(QHostAddress::LocalHost, 0));
    auto open = connectTo(listener->port());
    open->write("GET / HTTP/1.1\r\n");
    QTRY_COMPARE(listener->openConnectionCount(), 1);
    listener.reset();
    QVERIFY(closedByServer(*open));
    QVERIFY(m_peers.isEmpty());
}

void HTTPListenerTest::peerKey_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("key");

    QTest::newRow("IPv4") << u"192.168.1.20"_s << u"192.168.1.20"_s;
    QTest::newRow("IPv4-mapped IPv6") << u"::ffff:192.168.1.20"_s << u"192.168.1.20"_s;
    QTest::newRow("IPv6 counts by /64") << u"2001:db8:1:2:aaaa:bbbb:cccc:dddd"_s << u"2001:db8:1:2::/64"_s;
    QTest::newRow("IPv6 same prefix") << u"2001:db8:1:2::1"_s << u"2001:db8:1:2::/64"_s;
}

void HTTPListenerTest::peerKey()
{
    QFETCH(QString, address);
    QFETCH(QString, key);
    QCOMPARE(::peerKey(QHostAddress(address)), key);
}

QTEST_GUILESS_MAIN(HTTPListenerTest)
#include "tst_httplistener.moc"
