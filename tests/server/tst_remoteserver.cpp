#include "server/remoteserver.h"

#include "dnssdbrowser.h"
#include "routerharness.h"
#include "support/servicerequirement.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Answer
{
    int status = 0;
    QJsonObject body;
    bool closedByServer = false;
};

// One request over a fresh TCP connection; the answer and whether the server closed the connection.
class Exchange : public QObject
{
public:
    Exchange(quint16 port, const QByteArray &request)
    {
        connect(&m_socket, &QTcpSocket::connected, this, [this, request] { m_socket.write(request); });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] { m_closed = true; });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { m_failed = true; });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool isDone() const { return m_closed || m_failed; }

    Answer answer() const
    {
        const qsizetype headerEnd = m_received.indexOf("\r\n\r\n");
        const QList<QByteArray> statusLine = m_received.left(m_received.indexOf("\r\n")).split(' ');
        if (headerEnd < 0 || statusLine.size() < 2)
            return {0, {}, m_closed};
        return {statusLine[1].toInt(), QJsonDocument::fromJson(m_received.sliced(headerEnd + 4)).object(),
                m_closed};
    }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
    bool m_failed = false;
};

QByteArray httpRequest(const QByteArray &method, const QByteArray &path, const QByteArray &body = {},
                       const QString &token = {})
{
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        request += "Authorization: Bearer " + token.toUtf8() + "\r\n";
    if (!body.isEmpty())
        request +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return request + "\r\n" + body;
}

Answer exchange(quint16 port, const QByteArray &request)
{
    Exchange exchange(port, request);
    if (!QTest::qWaitFor([&] { return exchange.isDone(); }, 30'000))
        qWarning("no answer within 30 s");
    return exchange.answer();
}

// Collects status lines with the thread that delivered each.
struct StatusLines
{
    QStringList lines;
    bool allOnMainThread = true;

    std::function<void(const QString &)> callback()
    {
        return [this](const QString &line) {
            lines.append(line);
            allOnMainThread = allOnMainThread && QThread::currentThread() == qApp->thread();
        };
    }
};

RemoteServer::Options loopback(int port = 0)
{
    return RemoteServer::Options{port, QHostAddress::LocalHost, {}, {}};
}

bool advertised(const QString &type, const QString &name, quint16 port)
{
    const QList<BrowsedService> services = browseDNSSD(type);
    return std::any_of(services.cbegin(), services.cend(), [&](const BrowsedService &service) {
        // Another connector on this machine makes the daemon rename ours "NAME #2".
        const bool ours = service.name == name || service.name.startsWith(name + u" #"_s);
        return ours && service.port == port;
    });
}

} // namespace

class RemoteServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void queueLabel_namesPlatform();
    void start_reportsReadyOnMainThread();
    void start_reportsTakenPort();
    void start_reportsInvalidPort();
    void start_reportsSocketCreationFailure();
    void answers_onServerThread();
    void answers_overRealConnections();
    void answers_fiftyClientsAtOnce();
    void stop_closesListenerButFinishesOpenConnections();
    void destruction_dropsOpenConnectionsCleanly();
    void destruction_whileAnsweringOnServerThread();
    void status_notDeliveredOnceServerIsGone();
    void advertises_byTypeAndName();

private:
    std::unique_ptr<RouterHarness> m_harness;
    StatusLines m_status;
};

void RemoteServerTest::init()
{
    m_harness = std::make_unique<RouterHarness>();
    m_status = {};
}

void RemoteServerTest::cleanup()
{
    m_harness.reset();
}

void RemoteServerTest::queueLabel_namesPlatform()
{
    QCOMPARE(RemoteServer::queueLabel(DJPlatform::serato), u"com.tarvik.djconnector.serato.http"_s);
    QCOMPARE(RemoteServer::queueLabel(DJPlatform::virtualDJ), u"com.tarvik.djconnector.virtualDJ.http"_s);
}

void RemoteServerTest::start_reportsReadyOnMainThread()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->setOnStatus(m_status.callback());
    server->start();
    QVERIFY(server->serverPort() != 0);
    QTRY_COMPARE(m_status.lines.size(), 1);
    QVERIFY(m_status.lines.first().startsWith(u"Ready on private network port "_s
                                              + QString::number(server->serverPort())));
    QVERIFY(m_status.allOnMainThread);
}

void RemoteServerTest::start_reportsTakenPort()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, 0));
    auto server =
        std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback(other.serverPort()));
    server->setOnStatus(m_status.callback());
    server->start();
    QTRY_COMPARE(m_status.lines.size(), 1);
    const QString line = m_status.lines.first();
    QVERIFY2(line.startsWith(u"Could not start: "_s), qPrintable(line));
    QVERIFY2(line.endsWith(u". Close any other DJ Connector using port "_s
                           + QString::number(other.serverPort()) + u"."_s),
             qPrintable(line));
    QVERIFY(m_status.allOnMainThread);
    QCOMPARE(server->serverPort(), quint16(0));
}

void RemoteServerTest::start_reportsInvalidPort()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback(70000));
    server->setOnStatus(m_status.callback());
    server->start();
    // Reported directly, on the calling thread.
    QCOMPARE(m_status.lines, QStringList{u"Invalid connector port."_s});
}

void RemoteServerTest::start_reportsSocketCreationFailure()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->setOnStatus(m_status.callback());
    // A round trip through the server thread: its event loop, which needs descriptors, is up.
    server->stop();
    // Exhaust this process's descriptors so that the listening socket cannot even be made.
    rlimit original{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = 256;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> filler;
    for (int descriptor = open("/dev/null", O_RDONLY); descriptor >= 0;
         descriptor = open("/dev/null", O_RDONLY))
        filler.push_back(descriptor);
    server->start();
    for (const int descriptor : filler)
        close(descriptor);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &original), 0);

    QCOMPARE(m_status.lines.size(), 1);
    QVERIFY2(m_status.lines.first().startsWith(u"Connector could not start: "_s),
             qPrintable(m_status.lines.first()));
}

void RemoteServerTest::answers_onServerThread()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->start();
    const QString token = *m_harness->router()->pair(m_harness->router()->pairingCode());
    QCOMPARE(exchange(server->serverPort(), httpRequest("GET", "/api/status", {}, token)).status, 200);
    QCOMPARE(m_harness->lookThreadNames(), QStringList{u"com.tarvik.djconnector.serato.http"_s});
}

void RemoteServerTest::answers_overRealConnections()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->start();
    const quint16 port = server->serverPort();

    const Answer paired =
        exchange(port, httpRequest("POST", "/api/pair?source=qr",
                                   R"({"code":")" + m_harness->router()->pairingCode().toUtf8() + R"("})"));
    QCOMPARE(paired.status, 200);
    QVERIFY(paired.closedByServer);
    const QString token = paired.body.value(u"token"_s).toString();
    QCOMPARE(token.size(), 32);

    const Answer status = exchange(port, httpRequest("GET", "/api/status", {}, token));
    QCOMPARE(status.status, 200);
    QCOMPARE(status.body.value(u"pairedDevices"_s), QJsonValue(1));

    const Answer saved =
        exchange(port, httpRequest("POST", "/api/script", R"({"script":"[CUE] Vows"})", token));
    QCOMPARE(saved.status, 200);
    const Answer script = exchange(port, httpRequest("GET", "/api/script", {}, token));
    QCOMPARE(script.body.value(u"script"_s), QJsonValue(u"[CUE] Vows"_s));
    QCOMPARE(script.body.value(u"revision"_s), saved.body.value(u"revision"_s));

    const Answer played =
        exchange(port, httpRequest("post", "/api/command", R"({"command":"play","deck":"left"})", token));
    QCOMPARE(played.status, 200);
    QCOMPARE(played.body.value(u"expectedState"_s), QJsonValue(u"playing"_s));
    const Answer volume =
        exchange(port, httpRequest("POST", "/api/command",
                                   R"({"command":"volume","deck":"left","percent":"25"})", token));
    QCOMPARE(volume.body.value(u"volumePercent"_s), QJsonValue(25));

    const Answer missing = exchange(port, httpRequest("GET", "/api/missing", {}, token));
    QCOMPARE(missing.status, 404);
    QVERIFY(missing.closedByServer);
    const Answer unpaired = exchange(port, httpRequest("GET", "/api/status"));
    QCOMPARE(unpaired.status, 401);
    const Answer tooLarge =
        exchange(port, httpRequest("POST", "/api/script", QByteArray(300000, 'x'), token));
    QCOMPARE(tooLarge.status, 400);
    QCOMPARE(tooLarge.body.value(u"message"_s), QJsonValue(u"Request too large."_s));
    QVERIFY(tooLarge.closedByServer);
}

void RemoteServerTest::answers_fiftyClientsAtOnce()
{
    // Every client here shares 127.0.0.1, so the cap per peer is raised; it has a test of its own.
    RemoteServer::Options options = loopback();
    options.limits.perPeer = 64;
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), options);
    server->start();
    const QString token = *m_harness->router()->pair(m_harness->router()->pairingCode());
    std::vector<std::unique_ptr<Exchange>> clients;
    for (int client = 0; client < 50; ++client) {
        const QByteArray request =
            client % 2 ? httpRequest("GET", "/api/status", {}, token)
                       : httpRequest("POST", "/api/command", R"({"command":"pause","deck":"right"})", token);
        clients.push_back(std::make_unique<Exchange>(server->serverPort(), request));
    }
    for (const auto &client : clients) {
        QTRY_VERIFY_WITH_TIMEOUT(client->isDone(), 60'000);
        QCOMPARE(client->answer().status, 200);
        QCOMPARE(client->answer().body.value(u"ok"_s), QJsonValue(true));
    }
}

void RemoteServerTest::stop_closesListenerButFinishesOpenConnections()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->start();
    const quint16 port = server->serverPort();
    QTcpSocket open;
    open.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(open.waitForConnected(10'000));
    open.write("GET / HTTP/1.1\r\n");
    QVERIFY(open.waitForBytesWritten(10'000));
    // Connections are taken in order, so once a later one is answered the open one is taken too;
    // closing the listener drops only connections not yet taken.
    QCOMPARE(exchange(port, httpRequest("GET", "/")).status, 200);

    server->stop();
    QCOMPARE(server->serverPort(), quint16(0));
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(10'000));

    QByteArray received;
    connect(&open, &QTcpSocket::readyRead, this, [&] { received += open.readAll(); });
    QSignalSpy closed(&open, &QTcpSocket::disconnected);
    open.write("\r\n");
    QVERIFY(closed.wait(30'000));
    QVERIFY(received.startsWith("HTTP/1.1 200 OK\r\n"));
}

void RemoteServerTest::destruction_dropsOpenConnectionsCleanly()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->start();
    QTcpSocket open;
    open.connectToHost(QHostAddress::LocalHost, server->serverPort());
    QVERIFY(open.waitForConnected(10'000));
    open.write("GET / HTTP/1.1\r\n");
    QVERIFY(open.waitForBytesWritten(10'000));
    // Once this later connection is answered, the open one is in the connection table.
    QCOMPARE(exchange(server->serverPort(), httpRequest("GET", "/")).status, 200);
    QSignalSpy closed(&open, &QTcpSocket::disconnected);
    server.reset();
    QVERIFY(closed.wait(30'000));
    QCOMPARE(open.readAll(), QByteArray());
}

void RemoteServerTest::destruction_whileAnsweringOnServerThread()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->start();
    const quint16 port = server->serverPort();
    const QString token = *m_harness->router()->pair(m_harness->router()->pairingCode());
    // The owner lets go while the server thread answers, so the request's own reference is the
    // last one and the server is destroyed on its own thread.
    m_harness->setDuringLook([&] {
        QMetaObject::invokeMethod(
            this, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
    });
    const Answer status = exchange(port, httpRequest("GET", "/api/status", {}, token));
    QCOMPARE(status.status, 200);
    QVERIFY(status.closedByServer);
    QVERIFY(!server);
    QTRY_VERIFY_WITH_TIMEOUT(exchange(port, httpRequest("GET", "/")).status == 0, 30'000);
}

void RemoteServerTest::status_notDeliveredOnceServerIsGone()
{
    auto server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(), loopback());
    server->setOnStatus(m_status.callback());
    server->start();
    // The ready line is queued for the main thread, which runs only after the server is gone.
    server.reset();
    QTest::qWait(100);
    QVERIFY(m_status.lines.isEmpty());
}

void RemoteServerTest::advertises_byTypeAndName()
{
    CONNECTOR_REQUIRE_SERVICE(dnssdBrowserAvailable(), u"avahi-browse"_s);
    auto server = std::make_shared<RemoteServer>(DJPlatform::virtualDJ, m_harness->router(), loopback());
    server->setOnStatus(m_status.callback());
    server->start();
    QTRY_COMPARE(m_status.lines.size(), 1);
    CONNECTOR_REQUIRE_SERVICE(!m_status.lines.first().contains(u"discovery is unavailable"_s),
                              u"Avahi daemon"_s);
    QCOMPARE(m_status.lines.first(),
             u"Ready on private network port "_s + QString::number(server->serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(
        advertised(u"_tarvikdjvirtual._tcp"_s, u"Tarvik DJ Connector - VirtualDJ"_s, server->serverPort()),
        60'000);

    const quint16 port = server->serverPort();
    server->stop();
    QTRY_VERIFY_WITH_TIMEOUT(
        !advertised(u"_tarvikdjvirtual._tcp"_s, u"Tarvik DJ Connector - VirtualDJ"_s, port), 60'000);
}

QTEST_GUILESS_MAIN(RemoteServerTest)
#include "tst_remoteserver.moc"
