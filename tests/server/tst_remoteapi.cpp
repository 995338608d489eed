#include "server/remoteapi.h"

#include "serverharness.h"

#include <QDir>
#include <QFile>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

const QHostAddress kPhone(u"192.168.1.30"_s);
const QString kToken = u"Bearer TOKEN"_s;
const QByteArray kRightCode = R"({"code":"482913"})";
// Above 2^53, where a double would lose the last digit.
constexpr qint64 kRevision = 9'007'199'254'740'993;

QByteArray scriptBodyOfSize(qsizetype size)
{
    return R"({"script":")" + QByteArray(size - 13, 'a') + R"("})";
}

} // namespace

class RemoteAPITest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void response_data();
    void response();
    void track_onlyWhileOneIsPlaying();
    void status_followsEveryChange();
    void pair_throttlesGuessesPerPeer();
    void replaceScript_refusedWhileTheStoreCannotBeWritten();
    void response_refusesForeignHostBeforeAnyRoute();

private:
    // request: method and path; authorization: the header, TOKEN standing for a paired phone's token.
    QJsonObject respond(const QString &request, const QByteArray &body = {}, QString authorization = kToken,
                        const QHostAddress &peer = kPhone);

    std::unique_ptr<RouterHarness> m_harness;
    std::unique_ptr<RemoteAPI> m_api;
    QString m_token;
    HTTPResponse m_response;
};

void RemoteAPITest::init()
{
    m_harness = std::make_unique<RouterHarness>(
        QVariantHash{{u"TarvikDJConnector.serato.weddingScript"_s, u"[CUE] Vows"_s},
                     {u"TarvikDJConnector.serato.scriptRevision"_s, kRevision}});
    m_api = std::make_unique<RemoteAPI>(DJPlatform::serato, m_harness->router, m_harness->clock);
    m_token = m_harness->router->pair(u"482913"_s).value_or(QString());
}

QJsonObject RemoteAPITest::respond(const QString &request, const QByteArray &body, QString authorization,
                                   const QHostAddress &peer)
{
    HTTPRequest parsed{request.section(u' ', 0, 0), request.section(u' ', 1), {}, body};
    if (!authorization.isNull())
        parsed.headers.insert(u"authorization"_s, authorization.replace(u"TOKEN"_s, m_token));
    m_response = m_api->response(parsed, peer);
    return QJsonDocument::fromJson(m_response.body).object();
}

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
    const QByteArray command = R"("ok":true,"message":null,"commandID":null,"expectedState":)";
    row("browser notice without token", u"GET /"_s, {}, none, 200,
        R"({"ok":true,"product":"Tarvik DJ Connector","platform":"Serato DJ Pro","message":"Use the Tarvik )"
        R"(DJ Remote iPhone or iPad app to pair and control this connector. Browser controls are )"
        R"(intentionally unavailable."})");
    row("pair without token, code with spaces", u"POST /api/pair"_s, R"({"code":" 482913\n"})", none, 200,
        R"({"ok":true,"token":null,"leftState":"stopped","rightState":"stopped","leftVolume":100,)"
        R"("rightVolume":100,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("message":"Paired with the Serato DJ Pro connector."})");
    row("status", u"GET /api/status"_s, {}, kToken, 200,
        R"({"ok":true,"leftState":"stopped","rightState":"stopped","leftVolume":100,"rightVolume":100,)"
        R"("pairedDevices":1,"scriptRevision":9007199254740993,"deckStateReported":false,)"
        R"("midiDevice":"Tarvik DJ Connector Serato"})");
    row("read script", u"GET /api/script"_s, {}, kToken, 200,
        R"({"ok":true,"script":"[CUE] Vows","revision":9007199254740993})");
    row("script of 200000 bytes", u"POST /api/script"_s, scriptBodyOfSize(200000), kToken, 200,
        R"({"ok":true,"revision":9007199254740994,"message":"Wedding script saved on this computer."})");
    row("PLAY LEFT in capitals", u"POST /api/command"_s, R"({"command":"PLAY","deck":"LEFT"})", kToken, 200,
        "{" + command + R"("playing","deck":"left"})");
    row("play-next on the right", u"POST /api/command"_s, R"({"command":"play-next","deck":"right"})", kToken,
        200, "{" + command + R"("playing","deck":"right"})");
    row("volume as a string", u"POST /api/command"_s, R"({"command":"volume","deck":"right","percent":"75"})",
        kToken, 200, "{" + command + R"("stopped","deck":"right","volumePercent":75})");
    row("volume as a number", u"POST /api/command"_s, R"({"command":"volume","deck":"right","percent":75})",
        kToken, 200, "{" + command + R"("stopped","deck":"right","volumePercent":75})");

    const auto refused = [&](const char *name, const QString &request, const QByteArray &body,
                             const QString &authorization, int status, const QByteArray &message) {
        row(name, request, body, authorization, status, R"({"ok":false,"message":")" + message + "\"}");
    };
    const QByteArray unpaired = "Pair this device with Tarvik DJ Connector first.";
    const QByteArray wrongCode = "That pairing code is not correct.";
    // Only the browser notice and pairing come before the token check, and 401 before 404.
    refused("POST / without token", u"POST /"_s, {}, none, 401, unpaired);
    refused("GET /api/pair without token", u"GET /api/pair"_s, {}, none, 401, unpaired);
    refused("GET /api/pair with token", u"GET /api/pair"_s, {}, kToken, 404, "Not found.");
    refused("unknown path without token", u"GET /nothing"_s, {}, none, 401, unpaired);
    refused("paired token, Basic scheme", u"GET /api/status"_s, {}, u"Basic TOKEN"_s, 401, unpaired);
    refused("unknown token", u"GET /api/status"_s, {}, u"Bearer 0123456789ABCDEF0123456789ABCDEF"_s, 401,
            unpaired);
    refused("wrong code", u"POST /api/pair"_s, R"({"code":"000000"})", none, 403, wrongCode);
    refused("right digits as a number", u"POST /api/pair"_s, R"({"code":482913})", none, 403, wrongCode);
    refused("script of 200001 bytes", u"POST /api/script"_s, scriptBodyOfSize(200001), kToken, 400,
            "The wedding script could not be saved.");
    const auto hostile = [&](const char *name, const QByteArray &body, const QByteArray &message) {
        refused(name, u"POST /api/command"_s, body, kToken, 400, message);
    };
    hostile("deck neither left nor right", R"({"command":"play","deck":"middle"})", "Unknown command.");
    hostile("no such command", R"({"command":"rewind","deck":"left"})", "Unknown command.");
    hostile("invalid UTF-8", "{\"command\":\"pl\xff\",\"deck\":\"left\"}", "Unknown command.");
    hostile("deep nesting", QByteArray(100000, '[') + QByteArray(100000, ']'), "Unknown command.");
    const QByteArray percent = "Choose 25, 50, 75, or 100 percent.";
    hostile("volume not offered", R"({"command":"volume","deck":"right","percent":60})", percent);
    hostile("volume a fraction", R"({"command":"volume","deck":"right","percent":75.5})", percent);
    hostile("volume a huge number", R"({"command":"volume","deck":"right","percent":1e300})", percent);
    // Would wrap to 75 in 32 bits.
    hostile("volume 2^32 + 75", R"({"command":"volume","deck":"right","percent":4294967371})", percent);
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

void RemoteAPITest::track_onlyWhileOneIsPlaying()
{
    QVERIFY(!respond(u"GET /api/status"_s).contains(u"track"_s));
    m_harness->openFiles->set(RouterHarness::kProcessID, {u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s});
    m_harness->clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs + 1);
    const QJsonValue track(QJsonObject{{u"title"_s, u"Song Name"_s}});
    QCOMPARE(respond(u"GET /api/status"_s).value(u"track"_s), track);
    QCOMPARE(respond(u"POST /api/pair"_s, kRightCode).value(u"track"_s), track);
}

void RemoteAPITest::status_followsEveryChange()
{
    // Guards a stale status answer: the last one is kept until the router's state moves on.
    const auto status = [this](const QString &key) { return respond(u"GET /api/status"_s).value(key); };
    QCOMPARE(status(u"leftState"_s), QJsonValue(u"stopped"_s));
    respond(u"POST /api/command"_s, R"({"command":"play","deck":"left"})");
    QCOMPARE(status(u"leftState"_s), QJsonValue(u"playing"_s));
    m_harness->router->handleVolume(50, DeckSide::right);
    QCOMPARE(status(u"rightVolume"_s), QJsonValue(50));
    m_harness->router->pair(u"482913"_s);
    QCOMPARE(status(u"pairedDevices"_s), QJsonValue(2));
    const std::optional<qint64> revision = m_harness->router->updateWeddingScript(u"[CUE] Rings"_s);
    QVERIFY(revision);
    QCOMPARE(status(u"scriptRevision"_s), QJsonValue(*revision));
}

void RemoteAPITest::pair_throttlesGuessesPerPeer()
{
    const QString pair = u"POST /api/pair"_s;
    // The clock set back guards against a lock-out that lasts as long as the jump.
    for (const qint64 clockShift : {-60 * 60 * 1000, 10 * 60 * 1000}) {
        for (int guess = 0; guess < 10; ++guess)
            QVERIFY(!respond(pair, R"({"code":"000000"})").contains(u"token"_s));
        // Even the right code is refused from the guessing address; another address pairs.
        QCOMPARE(respond(pair, kRightCode).value(u"message"_s),
                 QJsonValue(u"That pairing code is not correct."_s));
        QVERIFY(respond(pair, kRightCode, {}, QHostAddress(u"192.168.1.31"_s)).contains(u"token"_s));
        m_harness->clock->advance(clockShift);
        QVERIFY(respond(pair, kRightCode).contains(u"token"_s));
    }
}

// Regression: a script that never reached the disk was answered as saved.
void RemoteAPITest::replaceScript_refusedWhileTheStoreCannotBeWritten()
{
    const QString settingsFile = m_harness->fixture.settingsFilePath();
    QVERIFY(QFile::remove(settingsFile) && QDir().mkdir(settingsFile));
    const QJsonObject refused = respond(u"POST /api/script"_s, R"({"script":"Cake"})");
    QCOMPARE(m_response.status, 500);
    QCOMPARE(refused, (QJsonObject{{u"ok"_s, false},
                                   {u"message"_s, u"The wedding script could not be saved on this computer."_s}}));
    const QJsonObject unchanged{{u"ok"_s, true}, {u"script"_s, u"[CUE] Vows"_s}, {u"revision"_s, kRevision}};
    QCOMPARE(respond(u"GET /api/script"_s), unchanged);

    QVERIFY(QDir().rmdir(settingsFile));
    QCOMPARE(respond(u"POST /api/script"_s, R"({"script":"Cake"})").value(u"revision"_s).toInteger(),
             kRevision + 1);
    QCOMPARE(QSettings(settingsFile, QSettings::IniFormat).value(u"TarvikDJConnector.serato.weddingScript"_s),
             QVariant(u"Cake"_s));
}

void RemoteAPITest::response_refusesForeignHostBeforeAnyRoute()
{
    // The right code from a page whose DNS name was rebound to this computer pairs nothing.
    HTTPRequest request{u"POST"_s, u"/api/pair"_s, {{u"host"_s, u"attacker.example:53731"_s}}, kRightCode};
    const HTTPResponse refused = m_api->response(request, QHostAddress::LocalHost);
    QCOMPARE(refused.status, 403);
    QCOMPARE(QJsonDocument::fromJson(refused.body).object(),
             QJsonObject({{u"ok"_s, false}, {u"message"_s, u"This connector only answers on the local network."_s}}));
    QCOMPARE(m_harness->router->pairedDeviceCount(), 1);
    request.headers.insert(u"host"_s, u"dj-macbook.local:53731"_s);
    QCOMPARE(m_api->response(request, QHostAddress::LocalHost).status, 200);
}

QTEST_GUILESS_MAIN(RemoteAPITest)
#include "tst_remoteapi.moc"
