#include "server/localaddress.h"
#include "server/remoteapi.h"

#include "serverharness.h"
#include "support/connectorprocess.h"
#include "support/servicerequirement.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpSocket>

#include <latch>
#include <vector>

#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray kRightCode = R"({"code":"482913"})";
// The last header and the body of a pairing with the right code.
const QByteArray kPairing = "Content-Length: 17\r\n\r\n" + kRightCode;
// Above 2^53, where a double would lose the last digit.
constexpr qint64 kRevision = 9'007'199'254'740'993;

// Whether the server's system has taken every byte written on the socket (it has acknowledged them).
bool takenByServer(const QTcpSocket &socket)
{
    tcp_info info{};
    socklen_t size = sizeof(info);
    return ::getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) == 0
           && info.tcpi_unacked == 0;
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port, const QByteArray &request = {})
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(10'000); // a refused connection shows as no answer
    socket->write(request);
    return socket;
}

// Everything received once the server has closed the connection; nothing if it has not within 30 s.
QByteArray readUntilClosed(QTcpSocket &socket)
{
    const bool closed =
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 30'000);
    return closed ? socket.readAll() : QByteArray();
}

// Whether avahi-browse resolves our VirtualDJ service on this port, also if renamed "NAME #2".
bool advertised(quint16 port)
{
    QProcess browser;
    browser.start(u"avahi-browse"_s, {u"-rtp"_s, u"_tarvikdjvirtual._tcp"_s});
    browser.waitForFinished(30'000);
    // Resolved: =;interface;protocol;name;type;domain;host;address;port;text
    const QRegularExpression resolved(
        uR"((?m)^=(;[^;]*){2};Tarvik\\032DJ\\032Connector\\032-\\032VirtualDJ[^;]*(;[^;]*){4};%1;)"_s.arg(
            port));
    return resolved.match(QString::fromUtf8(browser.readAllStandardOutput())).hasMatch();
}

} // namespace

// The connector's network endpoint as a Serato connector with one paired phone meets it on loopback; the
// pairing throttle, which needs other peers, by calls; and the address offered to the phone.
class RemoteServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_harness = std::make_unique<ServerHarness>(
            QVariantHash{{u"TarvikDJConnector.serato.weddingScript"_s, u"[CUE] Vows"_s},
                         {u"TarvikDJConnector.serato.scriptRevision"_s, kRevision}});
        m_token = m_harness->router->pair(u"482913"_s).value_or(QString());
    }

    void answer_data();
    void answer();

    void status_followsEveryChange_scriptSavedOnlyOnDisk()
    {
        // Guards a stale status answer: the last one is kept until the router's state or the track moves on.
        const std::shared_ptr<RemoteServer> server = m_harness->start();
        const auto answer = [&](const QByteArray &methodAndPath, const QByteArray &body = {}) {
            return loopbackRequest(server->serverPort(), methodAndPath, body, m_token).body;
        };
        const auto status = [&](const QString &key) { return answer("GET /api/status").value(key); };
        answer("POST /api/command", R"({"command":"volume","deck":"right","percent":50})");
        QCOMPARE(status(u"rightVolume"_s), 50);
        answer("POST /api/script", R"({"script":"Cake"})");
        QCOMPARE(status(u"scriptRevision"_s), kRevision + 1);
        m_harness->openFiles->set(ServerHarness::kProcessID, {u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s});
        m_harness->clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs + 1);
        const QJsonValue track(QJsonObject{{u"title"_s, u"Song Name"_s}});
        QCOMPARE(status(u"track"_s), track);
        QCOMPARE(answer("POST /api/pair", kRightCode).value(u"track"_s), track);
        QCOMPARE(status(u"pairedDevices"_s), 2);
        // Regression: a script that never reached the disk was answered as saved.
        const QString file = m_harness->fixture.settingsFilePath();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        QCOMPARE(answer("POST /api/script", R"({"script":"Cake"})"),
                 (QJsonObject{{u"ok"_s, false},
                              {u"message"_s, u"The wedding script could not be saved on this computer."_s}}));
    }

    void pair_throttlesGuessesPerPeer()
    {
        RemoteAPI api(DJPlatform::serato, m_harness->router, m_harness->clock);
        const auto pair = [&](const QByteArray &code, const QString &peer = u"192.168.1.30"_s) {
            const HTTPRequest request{u"POST"_s, u"/api/pair"_s, {}, "{\"code\":\"" + code + "\"}"};
            return QJsonDocument::fromJson(api.response(request, QHostAddress(peer)).body).object();
        };
        // The clock set back guards against a lock-out that lasts as long as the jump.
        for (const qint64 clockShift : {-60 * 60 * 1000, 10 * 60 * 1000}) {
            for (int guess = 0; guess < 10; ++guess)
                QVERIFY(!pair("000000").contains(u"token"_s));
            // Even the right code is refused from the guessing address; another address pairs.
            QCOMPARE(pair("482913").value(u"message"_s), u"That pairing code is not correct."_s);
            QVERIFY(pair("482913", u"192.168.1.31"_s).contains(u"token"_s));
            m_harness->clock->advance(clockShift);
            QVERIFY(pair("482913").contains(u"token"_s));
        }
    }

    void takenConnections_outliveLimitsAndStop()
    {
        // Every client here is 127.0.0.1: the default limit per peer, then a small one in all.
        for (const HTTPListener::Limits limits : {HTTPListener::Limits{}, {64, 3}}) {
            const std::shared_ptr<RemoteServer> server = m_harness->start(limits);
            const quint16 port = server->serverPort();
            std::vector<std::unique_ptr<QTcpSocket>> open;
            while (open.size() < size_t(std::min(limits.perPeer, limits.total)))
                open.push_back(connectTo(port, "GET / HTTP/1.1\r\n"));
            // Beyond the limit: taken after the open ones, which arrived first, and closed at once.
            QCOMPARE(loopbackRequest(port, "GET /").status, 0);
            // A peer closing mid-request frees its place well before the 10 s deadline.
            open[0]->close();
            QTRY_COMPARE(loopbackRequest(port, "GET /").status, 200);
            // Stopping refuses new connections; those taken are still served.
            server->stop();
            QCOMPARE(loopbackRequest(port, "GET /").status, 0);
            open[1]->write("\r\n");
            QVERIFY(readUntilClosed(*open[1]).startsWith("HTTP/1.1 200 "));
        }
    }

    void answers_commandsBeforeThePollsThatCameWithThem()
    {
        // Guards a DJ's tap queued behind status polls on the one server thread.
        const std::shared_ptr<RemoteServer> server = m_harness->start();
        const QByteArray poll = "GET /api/status HTTP/1.1\r\n" + authorization() + "\r\n";
        const QByteArray play = "POST /api/command HTTP/1.1\r\n" + authorization()
                                + "Content-Length: 32\r\n\r\n{\"command\":\"play\",\"deck\":\"left\"}";
        QSemaphore entered;
        std::latch resume(1);
        m_harness->openFiles->setDuringLook([&] {
            entered.release();
            resume.wait();
        });
        // The server is busy with a first poll while more polls and then a command come in, complete.
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (const QByteArray &request : {poll, poll, poll, play}) {
            clients.push_back(connectTo(server->serverPort(), request));
            QVERIFY(clients.back()->waitForBytesWritten(10'000));
            if (clients.size() == 1)
                QVERIFY(entered.tryAcquire(1, 30'000));
            else
                QTRY_VERIFY_WITH_TIMEOUT(takenByServer(*clients.back()), 30'000);
        }
        resume.count_down();
        QVERIFY(readUntilClosed(*clients[1]).contains(R"("leftState":"playing")"));
    }

    void destruction_whileAnsweringOnServerThread()
    {
        // Guards a deadlock: the last reference, let go on the server thread, made it wait for itself.
        std::shared_ptr<RemoteServer> server = m_harness->start();
        const quint16 port = server->serverPort();
        m_harness->openFiles->setDuringLook([&] {
            QMetaObject::invokeMethod(
                this, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
        });
        // The event loop runs meanwhile: the server's last reference goes there.
        const auto client = connectTo(port, "GET /api/status HTTP/1.1\r\n" + authorization() + "\r\n");
        QVERIFY(readUntilClosed(*client).startsWith("HTTP/1.1 200 "));
        QVERIFY(!server);
        QTRY_COMPARE_WITH_TIMEOUT(loopbackRequest(port, "GET /").status, 0, 30'000);
    }

    void start_reportsStatusLinesAndAdvertisesUntilStopped()
    {
        // Guards a use after free: a queued line looks its server up again, and this first one is gone.
        m_harness->start();
        const std::shared_ptr<RemoteServer> server = m_harness->start({}, 0, DJPlatform::virtualDJ);
        const quint16 port = server->serverPort();
        QTRY_COMPARE(m_harness->lines.size(), 1);
        CONNECTOR_REQUIRE_SERVICE(!m_harness->lines.first().contains(u"discovery is unavailable"_s),
                                  u"Avahi daemon"_s);
        QCOMPARE(m_harness->lines.first(), u"Ready on private network port %1"_s.arg(port));
        QTRY_VERIFY_WITH_TIMEOUT(advertised(port), 60'000);
        const std::shared_ptr<RemoteServer> second = m_harness->start({}, port);
        QTRY_COMPARE(m_harness->lines.size(), 2);
        QCOMPARE(m_harness->lines.last(), u"Could not start: The bound address is already in use. Close any "
                                          u"other DJ Connector using port %1."_s.arg(port));
        server->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!advertised(port), 60'000);
    }

    void offeredAddress_followsInterfacePriority()
    {
        constexpr unsigned int up = IFF_UP | IFF_RUNNING;
        const std::pair<QList<LocalAddress::InterfaceAddress>, QString> cases[] = {
            {{{u"en1"_s, up, u"10.0.0.7"_s}, {u"en0"_s, up, u"192.168.1.20"_s}}, u"192.168.1.20"_s},
            // Running is not required.
            {{{u"bridge100"_s, up, u"10.0.0.1"_s}, {u"utun0"_s, IFF_UP, u"172.16.0.5"_s}}, u"172.16.0.5"_s},
            // Loopback and down are skipped.
            {{{u"lo"_s, up | IFF_LOOPBACK, u"127.0.0.1"_s}, {u"en0"_s, IFF_RUNNING, u"192.168.1.2"_s}},
             QString()}};
        for (const auto &[entries, chosen] : cases)
            QCOMPARE(LocalAddress::choosePreferredIPv4Address(entries).value_or(QString()), chosen);
    }

private:
    QByteArray authorization() const { return "Authorization: Bearer " + m_token.toUtf8() + "\r\n"; }

    std::unique_ptr<ServerHarness> m_harness;
    QString m_token;
};

void RemoteServerTest::answer_data()
{
    QTest::addColumn<QByteArray>("request");  // TOKEN stands for the paired phone's token
    QTest::addColumn<bool>("trickle");        // one byte at a time
    QTest::addColumn<int>("status");          // 0: closed without an answer
    QTest::addColumn<QByteArray>("expected"); // JSON the answer contains; null stands for any string

    const auto raw = [](const QByteArray &name, const QByteArray &request, int status,
                        const QByteArray &expected, bool trickle = false) {
        QTest::newRow(name.constData()) << request << trickle << status << expected;
    };
    const auto row = [&](const QByteArray &name, const QByteArray &request, const QByteArray &body,
                         const QByteArray &authorization, int status, const QByteArray &expected) {
        const QByteArray head =
            request + " HTTP/1.1\r\n"
            + (authorization.isEmpty() ? QByteArray() : "Authorization: " + authorization + "\r\n");
        raw(name, head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body, status,
            expected);
    };
    const auto failure = [](const QByteArray &text) { return R"({"ok":false,"message":")" + text + "\"}"; };
    const auto script = [](qsizetype size) {
        return R"({"script":")" + QByteArray(size - 13, 'a') + R"("})";
    };
    const QByteArray token = "Bearer TOKEN", command = "POST /api/command";
    const QByteArray sent = R"({"ok":true,"message":null,"commandID":null,"expectedState":)";
    const QByteArray paired = R"({"ok":true,"token":null})", pairHead = "POST /api/pair HTTP/1.1\r\n";
    row("browser notice without token", "GET /", {}, {}, 200,
        R"({"ok":true,"product":"Tarvik DJ Connector","platform":"Serato DJ Pro","message":"Use the Tarvik )"
        R"(DJ Remote iPhone or iPad app to pair and control this connector. Browser controls are )"
        R"(intentionally unavailable."})");
    row("pair without token, code with spaces", "POST /api/pair", R"({"code":" 482913\n"})", {}, 200,
        R"({"ok":true,"token":null,"leftState":"stopped","rightState":"stopped","leftVolume":100,)"
        R"("rightVolume":100,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("message":"Paired with the Serato DJ Pro connector."})");
    row("status, scheme in lower case", "GET /api/status", {}, "bearer TOKEN", 200,
        R"({"ok":true,"leftState":"stopped","rightState":"stopped","leftVolume":100,"rightVolume":100,)"
        R"("pairedDevices":1,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("midiDevice":"Tarvik DJ Connector Serato"})");
    row("read script", "GET /api/script", {}, token, 200,
        R"({"ok":true,"script":"[CUE] Vows","revision":9007199254740993})");
    row("script of 200000 bytes", "POST /api/script", script(200000), token, 200,
        R"({"ok":true,"revision":9007199254740994,"message":"Wedding script saved on this computer."})");
    row("PLAY LEFT in capitals", command, R"({"command":"PLAY","deck":"LEFT"})", token, 200,
        sent + R"("playing","deck":"left"})");
    row("play-next on the right", command, R"({"command":"play-next","deck":"right"})", token, 200,
        sent + R"("playing","deck":"right"})");
    row("volume as a string", command, R"({"command":"volume","deck":"right","percent":"75"})", token, 200,
        sent + R"("stopped","deck":"right","volumePercent":75})");
    // The server reads each byte on its own, so the blank line is split at every point.
    raw("pairing trickled byte by byte", pairHead + kPairing, 200, paired, true);
    raw("second request on the connection", "GET / HTTP/1.1\r\n\r\n" + pairHead + kPairing, 200,
        R"({"ok":true})");
    // The head of a pairing request with a six-digit Content-Length takes 51 bytes.
    row("300000 bytes in all", "POST /api/pair", kRightCode.leftJustified(300000 - 51), {}, 200, paired);

    const QByteArray unpaired = failure("Pair this device with Tarvik DJ Connector first.");
    const QByteArray wrongCode = failure("That pairing code is not correct.");
    // Only the browser notice and pairing come before the token check, and 401 before 404.
    row("POST / without token", "POST /", {}, {}, 401, unpaired);
    row("GET /api/pair with token", "GET /api/pair", {}, token, 404, failure("Not found."));
    row("unknown path without token", "GET /nothing", {}, {}, 401, unpaired);
    row("paired token, Basic scheme", "GET /api/status", {}, "Basic TOKEN", 401, unpaired);
    row("unknown token", "GET /api/status", {}, "Bearer 0123456789ABCDEF0123456789ABCDEF", 401, unpaired);
    row("wrong code", "POST /api/pair", R"({"code":"000000"})", {}, 403, wrongCode);
    row("script of 200001 bytes", "POST /api/script", script(200001), token, 400,
        failure("The wedding script could not be saved."));
    for (const QByteArray &body :
         {R"({"command":"play","deck":"middle"})"_ba, R"({"command":"rewind","deck":"left"})"_ba,
          QByteArray(100000, '[') + QByteArray(100000, ']')})
        row(body.left(48), command, body, token, 400, failure("Unknown command."));
    // The last would wrap to 75 in 32 bits.
    for (const QByteArray &percent : {"60"_ba, "75.5"_ba, "1e300"_ba, "4294967371"_ba})
        row("percent " + percent, command, R"({"command":"volume","deck":"right","percent":)" + percent + "}",
            token, 400, failure("Choose 25, 50, 75, or 100 percent."));

    // The right code from a page whose DNS name was rebound to this computer pairs nothing: first what the
    // phone app and a local check send, then names such a page would bring or that only pretend an address.
    const std::pair<QByteArray, int> hosts[] = {
        {"192.168.1.20:53731 127.0.0.1. [::1] [fe80::1]:53732 LocalHost:53731 dj-macbook.LOCAL.:53731", 200},
        {"attacker.example:53731 localhost.example x.localhost dj.local.example .local 1.2.3.4.nip.io "
         "1.2.3.256 0x7f.0.0.1 [::1 [1.2.3.4] :53731 localhost: localhost:http localhost:537310 [::1]x",
         403}};
    for (const auto &[names, status] : hosts) {
        for (const QByteArray &host : names.split(' '))
            raw(host, pairHead + "Host: " + host + "\r\n" + kPairing, status,
                status == 200 ? paired : failure("This connector only answers on the local network."));
    }
    const QByteArray tooLarge = failure("Request too large.");
    raw("no Content-Length: no body", pairHead + "\r\n" + kRightCode, 403, wrongCode);
    raw("Content-Length not a number", pairHead + "Content-Length: many\r\n\r\n" + kRightCode, 403,
        wrongCode);
    // Answered while the peer is still sending, which must not cost it the answer.
    row("300001 bytes in all", "POST /api/pair", kRightCode.leftJustified(300001 - 51), {}, 400, tooLarge);
    // Answered at once, not after waiting for a body that could never fit.
    raw("declared length that cannot fit", pairHead + "Content-Length: 5000000\r\n\r\n", 400, tooLarge);
    raw("length beyond 64 bits", pairHead + "Content-Length: 99999999999999999999999\r\n\r\n", 400, tooLarge);
    raw("negative Content-Length", pairHead + "Content-Length: -5\r\n\r\nabcde", 0, {});
    // The deadline counts from acceptance, not from the last byte.
    raw("trickling peer", "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'x'), 0, {}, true);
}

void RemoteServerTest::answer()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, trickle);
    QFETCH(int, status);
    QFETCH(QByteArray, expected);
    request.replace("TOKEN", m_token.toUtf8());
    const quint64 revision = m_harness->router->stateRevision();
    const std::shared_ptr<RemoteServer> server = m_harness->start({32, 256, 2s});
    const std::unique_ptr<QTcpSocket> client = connectTo(server->serverPort());
    const qsizetype step = trickle ? 1 : request.size();
    for (qsizetype sent = 0; sent < request.size() && client->state() == QAbstractSocket::ConnectedState;
         sent += step) {
        client->write(request.sliced(sent, std::min(step, request.size() - sent)));
        client->waitForBytesWritten(10'000);
        QTest::qWait(1);
    }
    const QByteArray answer = readUntilClosed(*client);
    QCOMPARE(client->state(), QAbstractSocket::UnconnectedState);
    const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    QCOMPARE(answer.split(' ').value(1).toInt(), status);
    // Every answer ends the connection, and is neither kept nor sniffed.
    if (status != 0)
        QVERIFY(answer.contains("\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: "
                                + QByteArray::number(body.size())
                                + "\r\nContent-Type: application/json; charset=utf-8\r\n"
                                  "X-Content-Type-Options: nosniff\r\n\r\n"));
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonObject wanted = QJsonDocument::fromJson(expected).object();
    for (auto entry = wanted.begin(); entry != wanted.end(); ++entry)
        QVERIFY2(entry->isNull() ? object.value(entry.key()).isString()
                                 : object.value(entry.key()) == entry.value(),
                 qPrintable(entry.key()));
    // Nothing refused reaches pairing, the decks or the script.
    if (status != 200)
        QCOMPARE(m_harness->router->stateRevision(), revision);
}

QTEST_GUILESS_MAIN(RemoteServerTest)
#include "tst_remoteserver.moc"
