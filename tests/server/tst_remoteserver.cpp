#include "server/remoteserver.h"

#include "serverharness.h"
#include "support/servicerequirement.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray kPair = "POST /api/pair HTTP/1.1\r\nContent-Length: 17\r\n\r\n{\"code\":\"482913\"}";

// Whether avahi-browse resolves our VirtualDJ service on this port, also if renamed "NAME #2".
bool advertised(quint16 port)
{
    QProcess browser;
    browser.start(u"avahi-browse"_s, {u"-rtp"_s, u"_tarvikdjvirtual._tcp"_s});
    if (!browser.waitForFinished(30'000))
        browser.kill();
    for (const QByteArray &line : browser.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() >= 9 && fields[0] == "=" && fields[8].toInt() == port
            && fields[3].startsWith(R"(Tarvik\032DJ\032Connector\032-\032VirtualDJ)"))
            return true;
    }
    return false;
}

} // namespace

// The network endpoint over loopback TCP: listener, connections, status lines and advertisement.
class RemoteServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_harness = std::make_unique<RouterHarness>();
        m_lines.clear();
    }

    void start_reportsStatusLines()
    {
        // Guards a use after free: a queued line looks its server up again, and this first one is gone.
        startServer();
        std::shared_ptr<RemoteServer> server = startServer();
        QTRY_COMPARE(m_lines.size(), 1);
        QVERIFY(m_lines.first().startsWith(u"Ready on private network port %1"_s.arg(server->serverPort())));
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        server = startServer({}, other.serverPort());
        QTRY_COMPARE(m_lines.size(), 2);
        QVERIFY2(m_lines.last().startsWith(u"Could not start: "_s)
                     && m_lines.last().endsWith(
                         u". Close any other DJ Connector using port %1."_s.arg(other.serverPort())),
                 qPrintable(m_lines.last()));
        QCOMPARE(server->serverPort(), quint16(0));
    }

    void answers_onceThenCloses_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("trickle");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("paired"); // devices paired afterwards
        // The server reads each byte on its own, so the blank line is split at every point.
        QTest::newRow("pairing trickled byte by byte") << kPair << true << 200 << 1;
        QTest::newRow("second request on the connection")
            << "GET / HTTP/1.1\r\n\r\n" + kPair << false << 200 << 0;
        // Answered at once, not after waiting for a body that could never fit.
        QTest::newRow("declared length that cannot fit")
            << "POST /api/pair HTTP/1.1\r\nContent-Length: 5000000\r\n\r\n"_ba << false << 400 << 0;
    }

    void answers_onceThenCloses()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, trickle);
        QFETCH(int, status);
        QFETCH(int, paired);
        const std::shared_ptr<RemoteServer> server = startServer();
        const std::unique_ptr<QTcpSocket> client = connectTo(server->serverPort());
        for (qsizetype sent = 0; sent < request.size(); sent += trickle ? 1 : request.size()) {
            client->write(request.sliced(sent, trickle ? 1 : request.size()));
            QVERIFY(client->waitForBytesWritten(10'000));
            QTest::qWait(1);
        }
        const QByteArray received = readUntilClosed(*client);
        QCOMPARE(received.count("HTTP/1.1 "), 1);
        QVERIFY(received.contains("\r\nConnection: close\r\n"));
        QCOMPARE(statusOf(received), status);
        if (status == 400)
            QCOMPARE(bodyOf(received).value(u"message"_s), u"Request too large."_s);
        QCOMPARE(m_harness->router->pairedDeviceCount(), paired);
    }

    void closesWithoutAnswer_idleOrTricklingPeer()
    {
        const std::shared_ptr<RemoteServer> server = startServer({64, 256, 300ms});
        const std::unique_ptr<QTcpSocket> idle = connectTo(server->serverPort());
        const std::unique_ptr<QTcpSocket> trickling = connectTo(server->serverPort());
        // The deadline counts from acceptance: the server closes while the peer is still trickling.
        for (int sent = 0; sent < 3000 && trickling->state() == QAbstractSocket::ConnectedState; ++sent) {
            trickling->write("x");
            QTest::qWait(10);
        }
        QCOMPARE(trickling->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(trickling->readAll(), QByteArray());
        QCOMPARE(readUntilClosed(*idle), QByteArray());
    }

    void takenConnections_outliveLimitsAndStop()
    {
        for (const auto &[perPeer, total] : {std::pair{3, 10}, {10, 3}}) {
            const std::shared_ptr<RemoteServer> server = startServer({perPeer, total, 10s});
            const quint16 port = server->serverPort();
            std::vector<std::unique_ptr<QTcpSocket>> open;
            for (int index = 0; index < 3; ++index) {
                open.push_back(connectTo(port));
                open.back()->write("GET / HTTP/1.1\r\n");
            }
            // Beyond the limit: taken after the three open ones, which arrived first, and closed at once.
            QCOMPARE(exchange(port, "GET / HTTP/1.1\r\n\r\n"), QByteArray());
            // A peer closing mid-request frees its place well before the 10 s deadline.
            open[0]->close();
            QTRY_COMPARE(statusOf(exchange(port, "GET / HTTP/1.1\r\n\r\n")), 200);
            // Stopping refuses new connections; those taken are still served.
            server->stop();
            QCOMPARE(server->serverPort(), quint16(0));
            QCOMPARE(exchange(port, "GET / HTTP/1.1\r\n\r\n"), QByteArray());
            open[1]->write("\r\n");
            QCOMPARE(statusOf(readUntilClosed(*open[1])), 200);
        }
    }

    void destruction_whileAnsweringOnServerThread()
    {
        // Guards a deadlock: the last reference, let go on the server thread, made it wait for itself.
        std::shared_ptr<RemoteServer> server = startServer();
        const quint16 port = server->serverPort();
        const QString token = m_harness->router->pair(m_harness->router->pairingCode()).value_or(QString());
        m_harness->openFiles->setDuringLook([&] {
            QMetaObject::invokeMethod(
                this, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
        });
        QCOMPARE(statusOf(exchange(port, "GET /api/status HTTP/1.1\r\nAuthorization: Bearer " + token.toUtf8()
                                             + "\r\n\r\n")),
                 200);
        QVERIFY(!server);
        QTRY_VERIFY_WITH_TIMEOUT(exchange(port, "GET / HTTP/1.1\r\n\r\n").isEmpty(), 30'000);
    }

    void advertises_untilStopped()
    {
        CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"avahi-browse"_s).isEmpty(),
                                  u"avahi-browse"_s);
        const std::shared_ptr<RemoteServer> server = startServer({}, 0, DJPlatform::virtualDJ);
        const quint16 port = server->serverPort();
        QTRY_COMPARE(m_lines.size(), 1);
        CONNECTOR_REQUIRE_SERVICE(!m_lines.first().contains(u"discovery is unavailable"_s),
                                  u"Avahi daemon"_s);
        QCOMPARE(m_lines.first(), u"Ready on private network port %1"_s.arg(port));
        QTRY_VERIFY_WITH_TIMEOUT(advertised(port), 60'000);
        server->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!advertised(port), 60'000);
    }

private:
    // Every client here is 127.0.0.1, hence the higher default per peer.
    std::shared_ptr<RemoteServer> startServer(HTTPListener::Limits limits = {64, 256, 10s}, int port = 0,
                                              DJPlatform platform = DJPlatform::serato)
    {
        auto server = std::make_shared<RemoteServer>(
            platform, m_harness->router, RemoteServer::Options{port, QHostAddress::LocalHost, {}, limits});
        server->setOnStatus([this](const QString &line) {
            QCOMPARE(QThread::currentThread(), qApp->thread());
            m_lines.append(line);
        });
        server->start();
        return server;
    }

    std::unique_ptr<RouterHarness> m_harness;
    QStringList m_lines;
};

QTEST_GUILESS_MAIN(RemoteServerTest)
#include "tst_remoteserver.moc"
