#include "server/remoteserver.h"

#include "serverharness.h"

using namespace Qt::StringLiterals;

// A process of its own: the DNS-SD library must not have reached the system bus before.
class RemoteServerNoDiscoveryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void start_servesWithoutDiscovery();
};

void RemoteServerNoDiscoveryTest::start_servesWithoutDiscovery()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    RouterHarness harness;
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, harness.router,
                                                 RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
    QStringList lines;
    server->setOnStatus([&](const QString &line) { lines.append(line); });
    server->start();
    QTRY_COMPARE(lines.size(), 1);
    QCOMPARE(lines.first(), u"Ready on private network port "_s + QString::number(server->serverPort())
                                + u". Automatic discovery is unavailable; the manual address still works."_s);
    QCOMPARE(statusOf(exchange(server->serverPort(), "GET / HTTP/1.1\r\n\r\n")), 200);
}

QTEST_GUILESS_MAIN(RemoteServerNoDiscoveryTest)
#include "tst_remoteserver_nodiscovery.moc"
