#include "server/remoteapi.h"

#include "serverharness.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

const QHostAddress kPhone(u"192.168.1.30"_s);
const QString kToken = u"Bearer TOKEN"_s;
const QByteArray kRightCode = R"({"code":"482913"})";
// Above 2^53, where a double would lose the last digit.
constexpr qint64 kRevision = 9'007'199'254'740'993;

QByteArray scriptOfSize(qsizetype size)
{
    return R"({"script":")" + QByteArray(size - 13, 'a') + R"("})";
}

} // namespace

// Every route as the phone meets it, over the router of a Serato connector with one paired phone.
class RemoteAPITest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_harness = std::make_unique<RouterHarness>(
            QVariantHash{{u"TarvikDJConnector.serato.weddingScript"_s, u"[CUE] Vows"_s},
                         {u"TarvikDJConnector.serato.scriptRevision"_s, kRevision}});
        m_api = std::make_unique<RemoteAPI>(DJPlatform::serato, m_harness->router, m_harness->clock);
        m_token = m_harness->router->pair(u"482913"_s).value_or(QString());
    }

    void response_data();
    void response();

    void host_data()
    {
        QTest::addColumn<QString>("host"); // null: no Host header
        QTest::addColumn<int>("status");
        // What the phone app and a local check send; then DNS names a rebinding page would bring, and
        // what only pretends to be an address.
        const std::pair<QString, int> hosts[] = {
            {u"192.168.1.20 192.168.1.20:53731 127.0.0.1. [::1] [fe80::1c2b:3dff:fe4e:5f60]:53732 localhost "
             u"LocalHost:53731 localhost.:53731 DJ-MacBook.local dj-macbook.LOCAL.:53731"_s,
             200},
            {u"attacker.example attacker.example:53731 localhost.example x.localhost dj.local.example local "
             u".local 1.2.3.4.nip.io 1.2.3.256 1.2.3 0x7f.0.0.1 [::1 [example.com] [1.2.3.4] ::1 :53731 "
             u"localhost: localhost:http localhost:537310 [::1]x"_s,
             403}};
        for (const auto &[names, status] : hosts) {
            for (const QString &host : names.split(u' '))
                QTest::newRow(qPrintable(host)) << host << status;
        }
        QTest::newRow("none") << QString() << 200;
    }

    void host()
    {
        // The right code from a page whose DNS name was rebound to this computer pairs nothing.
        QFETCH(QString, host);
        QFETCH(int, status);
        HTTPRequest request{u"POST"_s, u"/api/pair"_s, {}, kRightCode};
        if (!host.isNull())
            request.headers.insert(u"host"_s, host);
        const HTTPResponse answer = m_api->response(request, QHostAddress::LocalHost);
        QCOMPARE(answer.status, status);
        QCOMPARE(m_harness->router->pairedDeviceCount(), status == 200 ? 2 : 1);
        if (status != 200)
            QCOMPARE(QJsonDocument::fromJson(answer.body).object().value(u"message"_s),
                     u"This connector only answers on the local network."_s);
    }

    void track_onlyWhileOneIsPlaying()
    {
        QVERIFY(!respond(u"GET /api/status"_s).contains(u"track"_s));
        m_harness->openFiles->set(RouterHarness::kProcessID, {u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s});
        m_harness->clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs + 1);
        const QJsonValue track(QJsonObject{{u"title"_s, u"Song Name"_s}});
        QCOMPARE(respond(u"GET /api/status"_s).value(u"track"_s), track);
        QCOMPARE(respond(u"POST /api/pair"_s, kRightCode).value(u"track"_s), track);
    }

    void status_followsEveryChange()
    {
        // Guards a stale status answer: the last one is kept until the router's state moves on.
        const auto status = [this](const QString &key) { return respond(u"GET /api/status"_s).value(key); };
        QCOMPARE(status(u"rightVolume"_s), 100);
        m_harness->router->handleVolume(50, DeckSide::right);
        QCOMPARE(status(u"rightVolume"_s), 50);
        m_harness->router->pair(u"482913"_s);
        QCOMPARE(status(u"pairedDevices"_s), 2);
        const qint64 revision = m_harness->router->updateWeddingScript(u"[CUE] Rings"_s).value_or(0);
        QCOMPARE(status(u"scriptRevision"_s), revision);
    }

    void pair_throttlesGuessesPerPeer()
    {
        const QString pair = u"POST /api/pair"_s;
        // The clock set back guards against a lock-out that lasts as long as the jump.
        for (const qint64 clockShift : {-60 * 60 * 1000, 10 * 60 * 1000}) {
            for (int guess = 0; guess < 10; ++guess)
                QVERIFY(!respond(pair, R"({"code":"000000"})").contains(u"token"_s));
            // Even the right code is refused from the guessing address; another address pairs.
            QCOMPARE(respond(pair, kRightCode).value(u"message"_s), u"That pairing code is not correct."_s);
            QVERIFY(respond(pair, kRightCode, {}, QHostAddress(u"192.168.1.31"_s)).contains(u"token"_s));
            m_harness->clock->advance(clockShift);
            QVERIFY(respond(pair, kRightCode).contains(u"token"_s));
        }
    }

    // Regression: a script that never reached the disk was answered as saved (the router's own test covers
    // the recovery).
    void replaceScript_refusedWhileTheStoreCannotBeWritten()
    {
        const QString file = m_harness->fixture.settingsFilePath();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        QCOMPARE(respond(u"POST /api/script"_s, R"({"script":"Cake"})"),
                 QJsonObject({{u"ok"_s, false},
                              {u"message"_s, u"The wedding script could not be saved on this computer."_s}}));
        QCOMPARE(m_response.status, 500);
        QCOMPARE(respond(u"GET /api/script"_s).value(u"script"_s), u"[CUE] Vows"_s);
    }

private:
    // request: method and path; authorization: the header, TOKEN standing for the paired phone's token.
    QJsonObject respond(const QString &request, const QByteArray &body = {}, QString authorization = kToken,
                        const QHostAddress &peer = kPhone)
    {
        HTTPRequest parsed{request.section(u' ', 0, 0), request.section(u' ', 1), {}, body};
        if (!authorization.isNull())
            parsed.headers.insert(u"authorization"_s, authorization.replace(u"TOKEN"_s, m_token));
        m_response = m_api->response(parsed, peer);
        return QJsonDocument::fromJson(m_response.body).object();
    }

    std::unique_ptr<RouterHarness> m_harness;
    std::unique_ptr<RemoteAPI> m_api;
    QString m_token;
    HTTPResponse m_response;
};

void RemoteAPITest::response_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("authorization"); // null: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("expected"); // JSON; a null value stands for any string

    const auto row = [](const char *name, const QString &request, const QByteArray &body,
                        const QString &authorization, int status, const QByteArray &expected) {
        QTest::newRow(name) << request << body << authorization << status << expected;
    };
    const QString none;
    const QString command = u"POST /api/command"_s;
    const QByteArray sent = R"({"ok":true,"message":null,"commandID":null,"expectedState":)";
    row("browser notice without token", u"GET /"_s, {}, none, 200,
        R"({"ok":true,"product":"Tarvik DJ Connector","platform":"Serato DJ Pro","message":"Use the Tarvik )"
        R"(DJ Remote iPhone or iPad app to pair and control this connector. Browser controls are )"
        R"(intentionally unavailable."})");
    row("pair without token, code with spaces", u"POST /api/pair"_s, R"({"code":" 482913\n"})", none, 200,
        R"({"ok":true,"token":null,"leftState":"stopped","rightState":"stopped","leftVolume":100,)"
        R"("rightVolume":100,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("message":"Paired with the Serato DJ Pro connector."})");
    row("status, scheme in lower case", u"GET /api/status"_s, {}, u"bearer TOKEN"_s, 200,
        R"({"ok":true,"leftState":"stopped","rightState":"stopped","leftVolume":100,"rightVolume":100,)"
        R"("pairedDevices":1,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("midiDevice":"Tarvik DJ Connector Serato"})");
    row("read script", u"GET /api/script"_s, {}, kToken, 200,
        R"({"ok":true,"script":"[CUE] Vows","revision":9007199254740993})");
    row("script of 200000 bytes", u"POST /api/script"_s, scriptOfSize(200000), kToken, 200,
        R"({"ok":true,"revision":9007199254740994,"message":"Wedding script saved on this computer."})");
    row("PLAY LEFT in capitals", command, R"({"command":"PLAY","deck":"LEFT"})", kToken, 200,
        sent + R"("playing","deck":"left"})");
    row("play-next on the right", command, R"({"command":"play-next","deck":"right"})", kToken, 200,
        sent + R"("playing","deck":"right"})");
    row("volume as a string", command, R"({"command":"volume","deck":"right","percent":"75"})", kToken, 200,
        sent + R"("stopped","deck":"right","volumePercent":75})");
    row("volume as a number", command, R"({"command":"volume","deck":"right","percent":75})", kToken, 200,
        sent + R"("stopped","deck":"right","volumePercent":75})");

    const auto refused = [&](const char *name, const QString &request, const QByteArray &body,
                             const QString &authorization, int status, const QByteArray &message) {
        row(name, request, body, authorization, status, R"({"ok":false,"message":")" + message + "\"}");
    };
    const QByteArray unpaired = "Pair this device with Tarvik DJ Connector first.";
    const QByteArray wrongCode = "That pairing code is not correct.";
    // Only the browser notice and pairing come before the token check, and 401 before 404.
    refused("POST / without token", u"POST /"_s, {}, none, 401, unpaired);
    refused("GET /api/pair with token", u"GET /api/pair"_s, {}, kToken, 404, "Not found.");
    refused("unknown path without token", u"GET /nothing"_s, {}, none, 401, unpaired);
    refused("paired token, Basic scheme", u"GET /api/status"_s, {}, u"Basic TOKEN"_s, 401, unpaired);
    refused("unknown token", u"GET /api/status"_s, {}, u"Bearer 0123456789ABCDEF0123456789ABCDEF"_s, 401,
            unpaired);
    refused("wrong code", u"POST /api/pair"_s, R"({"code":"000000"})", none, 403, wrongCode);
    refused("right digits as a number", u"POST /api/pair"_s, R"({"code":482913})", none, 403, wrongCode);
    refused("script of 200001 bytes", u"POST /api/script"_s, scriptOfSize(200001), kToken, 400,
            "The wedding script could not be saved.");
    const QByteArray unknown = "Unknown command.", percent = "Choose 25, 50, 75, or 100 percent.";
    const std::pair<QByteArray, QByteArray> hostile[] = {
        {R"({"command":"play","deck":"middle"})", unknown},
        {R"({"command":"rewind","deck":"left"})", unknown},
        {"{\"command\":\"pl\xff\",\"deck\":\"left\"}", unknown},
        {QByteArray(100000, '[') + QByteArray(100000, ']'), unknown},
        {R"({"command":"volume","deck":"right","percent":60})", percent},
        {R"({"command":"volume","deck":"right","percent":75.5})", percent},
        {R"({"command":"volume","deck":"right","percent":1e300})", percent},
        // Would wrap to 75 in 32 bits.
        {R"({"command":"volume","deck":"right","percent":4294967371})", percent}};
    for (const auto &[body, message] : hostile)
        refused(body.left(48).constData(), command, body, kToken, 400, message);
}

void RemoteAPITest::response()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, body);
    QFETCH(QString, authorization);
    QFETCH(int, status);
    QFETCH(QByteArray, expected);
    QJsonObject object = respond(request, body, authorization);
    QCOMPARE(m_response.status, status);
    const QJsonObject wanted = QJsonDocument::fromJson(expected).object();
    for (auto entry = wanted.begin(); entry != wanted.end(); ++entry) {
        if (entry->isNull() && object.value(entry.key()).isString())
            object.insert(entry.key(), QJsonValue());
    }
    QCOMPARE(object, wanted);
    if (status == 200)
        return;
    // Nothing refused reaches pairing, the decks or the script.
    QCOMPARE(m_harness->router->pairedDeviceCount(), 1);
    QCOMPARE(m_harness->router->expectedState(DeckSide::left), u"stopped"_s);
    QCOMPARE(m_harness->router->expectedVolume(DeckSide::right), 100);
    QCOMPARE(m_harness->router->weddingScriptSnapshot().revision, kRevision);
}

QTEST_GUILESS_MAIN(RemoteAPITest)
#include "tst_remoteapi.moc"
