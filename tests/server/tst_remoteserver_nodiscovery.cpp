#include "server/remoteserver.h"

#include "routerharness.h"

#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

// A process of its own: the system bus is pointed nowhere before the DNS-SD library first uses it,
// so the daemon cannot be reached.
class RemoteServerNoDiscoveryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void start_servesWithoutDiscovery();
};

void RemoteServerNoDiscoveryTest::initTestCase()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
}

void RemoteServerNoDiscoveryTest::start_servesWithoutDiscovery()
{
    RouterHarness harness;
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, harness.router(),
                                                 RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
    QStringList lines;
    server->setOnStatus([&](const QString &line) { lines.append(line); });
    server->start();
    QTRY_COMPARE(lines.size(), 1);
    QCOMPARE(lines.first(), u"Ready on private network port "_s + QString::number(server->serverPort())
                                + u". Automatic discovery is unavailable; the manual address still works."_s);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server->serverPort());
    QVERIFY(client.waitForConnected(10'000));
    client.write("GET / HTTP/1.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == QAbstractSocket::UnconnectedState, 30'000);
    QVERIFY(client.readAll().startsWith("HTTP/1.1 200 OK\r\n"));
    // Nothing retries in the background.
    QTest::qWait(200);
    QCOMPARE(lines.size(), 1);
}

QTEST_GUILESS_MAIN(RemoteServerNoDiscoveryTest)
#include "tst_remoteserver_nodiscovery.moc"
