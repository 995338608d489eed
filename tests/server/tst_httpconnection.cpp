#include "server/httpconnection.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The accepting side: every accepted socket is served by an HTTPConnection that answers with the
// request's path and counts what it was asked and how often it finished.
class Acceptor : public QObject
{
public:
    explicit Acceptor(std::chrono::milliseconds deadline = HTTPConnection::kDefaultDeadline)
        : m_deadline(deadline)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connection = new HTTPConnection(
                    socket,
                    [this](const HTTPRequest &request) {
                        requests.append(request);
                        return HTTPResponse::json(200, {{u"ok"_s, true}, {u"path"_s, request.path}});
                    },
                    [this] { ++finishCount; }, m_deadline, this);
                connection->start();
            }
        });
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    quint16 port() const { return m_server.serverPort(); }

    QList<HTTPRequest> requests;
    int finishCount = 0;
    HTTPConnection *connection = nullptr;

private:
    QTcpServer m_server;
    std::chrono::milliseconds m_deadline;
};

std::unique_ptr<QTcpSocket> connectTo(const Acceptor &acceptor)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, acceptor.port());
    if (!socket->waitForConnected(10'000))
        qWarning("could not connect");
    return socket;
}

// Everything the server sends until it closes its side.
QByteArray readUntilClosed(QTcpSocket &socket)
{
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { received += socket.readAll(); });
    if (socket.state() == QAbstractSocket::ConnectedState) {
        QSignalSpy closed(&socket, &QTcpSocket::disconnected);
        if (!closed.wait(30'000))
            qWarning("server did not close the connection");
    }
    received += socket.readAll();
    return received;
}

QByteArray bodyOf(const QByteArray &response)
{
    return response.sliced(response.indexOf("\r\n\r\n") + 4);
}

} // namespace

class HTTPConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersRequestTrickledByteByByte();
    void answersOnceAndClosesAfterAnswer();
    void refusesRequestOverSizeLimit_data();
    void refusesRequestOverSizeLimit();
    void refusesDeclaredLengthThatCannotFit();
    void closesWithoutAnswer_negativeLength();
    void finishesOnce_peerClosesEarly();
    void closesWithoutAnswer_idlePeer();
    void closesWithoutAnswer_tricklingPeer();
    void ignoresLateCallbacks_afterFinishing();
};

void HTTPConnectionTest::answersRequestTrickledByteByByte()
{
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    const QByteArray request = "POST /api/command?x=1 HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
    for (const char byte : request) {
        client->write(&byte, 1);
        QVERIFY(client->waitForBytesWritten(10'000));
        // Let the server side read each byte on its own.
        QTest::qWait(1);
    }
    const QByteArray response = readUntilClosed(*client);
    QVERIFY(response.startsWith("HTTP/1.1 200 OK\r\n"));
    QCOMPARE(bodyOf(response), R"({"ok":true,"path":"/api/command"})"_ba);
    QCOMPARE(acceptor.requests.size(), 1);
    QCOMPARE(acceptor.requests.first().body, "hello"_ba);
}

void HTTPConnectionTest::answersOnceAndClosesAfterAnswer()
{
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    // A second request on the same connection is never read as one.
    client->write("GET /first HTTP/1.1\r\n\r\nGET /second HTTP/1.1\r\n\r\n");
    const QByteArray response = readUntilClosed(*client);
    QCOMPARE(response.count("HTTP/1.1"), 1);
    QVERIFY(response.contains("\r\nConnection: close\r\n"));
    QCOMPARE(bodyOf(response), R"({"ok":true,"path":"/first"})"_ba);
    QCOMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(acceptor.finishCount, 1);
    QCOMPARE(acceptor.requests.size(), 1);
}

void HTTPConnectionTest::refusesRequestOverSizeLimit_data()
{
    QTest::addColumn<QByteArray>("request");

    const QByteArray head = "POST /api/script HTTP/1.1\r\nContent-Length: 299948\r\n\r\n";
    QTest::newRow("complete request") << head + QByteArray(299948, 'x');
    QTest::newRow("header block without end") << "GET / HTTP/1.1\r\nX: " + QByteArray(300001 - 19, 'x');
}

void HTTPConnectionTest::refusesRequestOverSizeLimit()
{
    QFETCH(QByteArray, request);
    QCOMPARE(request.size(), 300001);
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    client->write(request);
    const QByteArray response = readUntilClosed(*client);
    QVERIFY(response.startsWith("HTTP/1.1 400 Bad Request\r\n"));
    QCOMPARE(bodyOf(response), R"({"message":"Request too large.","ok":false})"_ba);
    QVERIFY(acceptor.requests.isEmpty());
    QTRY_COMPARE(acceptor.finishCount, 1);
}

void HTTPConnectionTest::refusesDeclaredLengthThatCannotFit()
{
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    // The answer must not wait for a body that could never fit; the body the peer goes on sending
    // is drained, so the connection finishes as soon as the peer closes.
    client->write("POST /api/script HTTP/1.1\r\nContent-Length: 5000000\r\n\r\n");
    QVERIFY(client->waitForBytesWritten(10'000));
    client->write(QByteArray(1'000'000, 'x'));
    const QByteArray response = readUntilClosed(*client);
    QVERIFY(response.startsWith("HTTP/1.1 400 Bad Request\r\n"));
    QCOMPARE(bodyOf(response), R"({"message":"Request too large.","ok":false})"_ba);
    QVERIFY(acceptor.requests.isEmpty());
    QTRY_COMPARE(acceptor.finishCount, 1);
}

void HTTPConnectionTest::closesWithoutAnswer_negativeLength()
{
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    client->write("POST /api/command HTTP/1.1\r\nContent-Length: -5\r\n\r\nabcde");
    QCOMPARE(readUntilClosed(*client), QByteArray());
    QVERIFY(acceptor.requests.isEmpty());
    QTRY_COMPARE(acceptor.finishCount, 1);
}

void HTTPConnectionTest::finishesOnce_peerClosesEarly()
{
    Acceptor acceptor;
    auto client = connectTo(acceptor);
    client->write("POST /api/command HTTP/1.1\r\nContent-Length: 50\r\n\r\n{\"command\":");
    QVERIFY(client->waitForBytesWritten(10'000));
    QTRY_VERIFY(acceptor.connection);
    client->close();
    QTRY_COMPARE(acceptor.finishCount, 1);
    QVERIFY(acceptor.connection->isFinished());
    QVERIFY(acceptor.requests.isEmpty());
}

void HTTPConnectionTest::closesWithoutAnswer_idlePeer()
{
    Acceptor acceptor(200ms);
    auto client = connectTo(acceptor);
    QCOMPARE(readUntilClosed(*client), QByteArray());
    QCOMPARE(acceptor.finishCount, 1);
}

void HTTPConnectionTest::closesWithoutAnswer_tricklingPeer()
{
    // The deadline counts from acceptance, not from the last byte, so trickling does not extend it.
    Acceptor acceptor(300ms);
    auto client = connectTo(acceptor);
    QSignalSpy closed(client.get(), &QTcpSocket::disconnected);
    for (int sent = 0; sent < 600 && closed.isEmpty(); ++sent) {
        client->write("x");
        client->flush();
        QTest::qWait(10);
    }
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, 30'000);
    QCOMPARE(client->readAll(), QByteArray());
    QCOMPARE(acceptor.finishCount, 1);
    QVERIFY(acceptor.requests.isEmpty());
}

void HTTPConnectionTest::ignoresLateCallbacks_afterFinishing()
{
    Acceptor acceptor(100ms);
    auto client = connectTo(acceptor);
    QTRY_COMPARE(acceptor.finishCount, 1);
    // Bytes and a close arriving after the connection gave up must not reach it again.
    client->write("GET / HTTP/1.1\r\n\r\n");
    client->flush();
    client->close();
    QTest::qWait(200);
    QCOMPARE(acceptor.finishCount, 1);
    QVERIFY(acceptor.requests.isEmpty());
}

QTEST_GUILESS_MAIN(HTTPConnectionTest)
#include "tst_httpconnection.moc"
