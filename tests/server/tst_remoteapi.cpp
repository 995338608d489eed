#include "server/remoteserver.h"

#include "routerharness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QHostAddress kPhone(u"192.168.1.30"_s);
const QHostAddress kOtherPhone(u"192.168.1.31"_s);
const QString kPairingCode = u"482913"_s;

HTTPRequest request(const QString &method, const QString &path, const QByteArray &body = {},
                    const std::optional<QString> &token = std::nullopt)
{
    HTTPRequest request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (token)
        request.headers.insert(u"authorization"_s, u"Bearer "_s + *token);
    return request;
}

QJsonObject bodyOf(const HTTPResponse &response)
{
    return QJsonDocument::fromJson(response.body).object();
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class RemoteAPITest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void browserNotice_needsNoToken_data();
    void browserNotice_needsNoToken();
    void dispatch_data();
    void dispatch();
    void pair_answersWithTokenAndDeckState();
    void pair_refuses_data();
    void pair_refuses();
    void pair_throttlesGuessesPerPeer();
    void status_reportsRouterState();
    void track_onlyWhileOneIsPlaying();
    void script_readsRevisionAs64BitInteger();
    void script_replaces();
    void script_refuses_data();
    void script_refuses();
    void command_carriesOut_data();
    void command_carriesOut();
    void command_refuses_data();
    void command_refuses();
    void volume_accepts_data();
    void volume_accepts();
    void volume_refuses_data();
    void volume_refuses();

private:
    HTTPResponse respond(const HTTPRequest &request, const QHostAddress &peer = kPhone);
    QString pairedToken();

    std::unique_ptr<RouterHarness> m_harness;
    std::shared_ptr<RemoteServer> m_server;
};

void RemoteAPITest::init()
{
    QTest::failOnWarning(QRegularExpression(u"^(answer without|failure with)"_s));
    m_harness = std::make_unique<RouterHarness>();
    // A code that reads as a JSON number, for the number-instead-of-string case.
    m_harness->fixture().settings()->setValue(u"TarvikDJConnector.serato.pairingCode"_s, kPairingCode);
    m_harness->reload();
    m_server =
        std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router(),
                                       RemoteServer::Options{{}, QHostAddress::Any, m_harness->clock(), {}});
}

void RemoteAPITest::cleanup()
{
    m_server.reset();
    m_harness.reset();
}

HTTPResponse RemoteAPITest::respond(const HTTPRequest &request, const QHostAddress &peer)
{
    const HTTPResponse response = m_server->response(request, peer);
    const QJsonObject body = bodyOf(response);
    // Every answer is one JSON object with a boolean `ok`, and every failure is exactly ok and message.
    if (!body.value(u"ok"_s).isBool())
        qWarning("answer without boolean ok: %s", response.body.constData());
    if (response.status != 200 && sortedKeys(body) != QStringList{u"message"_s, u"ok"_s})
        qWarning("failure with other keys: %s", response.body.constData());
    return response;
}

QString RemoteAPITest::pairedToken()
{
    const std::optional<QString> token = m_harness->router()->pair(m_harness->router()->pairingCode());
    return token.value_or(QString());
}

void RemoteAPITest::browserNotice_needsNoToken_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("platformName");

    QTest::newRow("serato") << DJPlatform::serato << u"Serato DJ Pro"_s;
    QTest::newRow("virtualDJ") << DJPlatform::virtualDJ << u"VirtualDJ"_s;
}

void RemoteAPITest::browserNotice_needsNoToken()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, platformName);
    RouterHarness harness(platform);
    RemoteServer server(platform, harness.router());
    const HTTPResponse response = server.response(request(u"GET"_s, u"/"_s), kPhone);
    QCOMPARE(response.status, 200);
    QCOMPARE(
        bodyOf(response),
        QJsonObject({{u"ok"_s, true},
                     {u"product"_s, u"Tarvik DJ Connector"_s},
                     {u"platform"_s, platformName},
                     {u"message"_s, u"Use the Tarvik DJ Remote iPhone or iPad app to pair and control this "
                                    u"connector. Browser controls are intentionally unavailable."_s}}));
}

void RemoteAPITest::dispatch_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("authorization"); // "valid": the paired token; null: no header
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // null: a success

    const QString unpaired = u"Pair this device with Tarvik DJ Connector first."_s;
    QTest::newRow("POST / without token") << u"POST"_s << u"/"_s << QString() << 401 << unpaired;
    QTest::newRow("GET /api/pair without token")
        << u"GET"_s << u"/api/pair"_s << QString() << 401 << unpaired;
    QTest::newRow("GET /api/pair with token")
        << u"GET"_s << u"/api/pair"_s << u"valid"_s << 404 << u"Not found."_s;
    QTest::newRow("unknown path without token") << u"GET"_s << u"/nothing"_s << QString() << 401 << unpaired;
    QTest::newRow("unknown path with token")
        << u"GET"_s << u"/nothing"_s << u"valid"_s << 404 << u"Not found."_s;
    QTest::newRow("status without token") << u"GET"_s << u"/api/status"_s << QString() << 401 << unpaired;
    QTest::newRow("status with token") << u"GET"_s << u"/api/status"_s << u"valid"_s << 200 << QString();
    QTest::newRow("status with unknown token")
        << u"GET"_s << u"/api/status"_s << u"Bearer 0123456789ABCDEF0123456789ABCDEF"_s << 401 << unpaired;
    QTest::newRow("status with Basic scheme")
        << u"GET"_s << u"/api/status"_s << u"Basic TOKEN"_s << 401 << unpaired;
    QTest::newRow("status with trailing slash")
        << u"GET"_s << u"/api/status/"_s << u"valid"_s << 404 << u"Not found."_s;
    QTest::newRow("status by POST") << u"POST"_s << u"/api/status"_s << u"valid"_s << 404 << u"Not found."_s;
    QTest::newRow("paths are case-sensitive")
        << u"GET"_s << u"/API/STATUS"_s << u"valid"_s << 404 << u"Not found."_s;
    QTest::newRow("script with token") << u"GET"_s << u"/api/script"_s << u"valid"_s << 200 << QString();
    QTest::newRow("script without token") << u"GET"_s << u"/api/script"_s << QString() << 401 << unpaired;
    QTest::newRow("command without token") << u"POST"_s << u"/api/command"_s << QString() << 401 << unpaired;
    QTest::newRow("GET /api/command")
        << u"GET"_s << u"/api/command"_s << u"valid"_s << 404 << u"Not found."_s;
}

void RemoteAPITest::dispatch()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QString, authorization);
    QFETCH(int, status);
    QFETCH(QString, message);
    HTTPRequest call = request(method, path);
    if (authorization == "valid"_L1)
        call.headers.insert(u"authorization"_s, u"Bearer "_s + pairedToken());
    else if (!authorization.isNull())
        call.headers.insert(u"authorization"_s, authorization.replace(u"TOKEN"_s, pairedToken()));
    const HTTPResponse response = respond(call);
    QCOMPARE(response.status, status);
    if (!message.isNull())
        QCOMPARE(bodyOf(response), QJsonObject({{u"ok"_s, false}, {u"message"_s, message}}));
}

void RemoteAPITest::pair_answersWithTokenAndDeckState()
{
    const QString code = m_harness->router()->pairingCode();
    const HTTPResponse response =
        respond(request(u"POST"_s, u"/api/pair"_s, json({{u"code"_s, u"  "_s + code + u"\n"_s}})));
    QCOMPARE(response.status, 200);
    QCOMPARE(response.reason, u"OK"_s);
    const QJsonObject body = bodyOf(response);
    QCOMPARE(sortedKeys(body),
             QStringList({u"leftState"_s, u"leftVolume"_s, u"message"_s, u"ok"_s, u"rightState"_s,
                          u"rightVolume"_s, u"scriptRevision"_s, u"token"_s}));
    QCOMPARE(body.value(u"ok"_s), QJsonValue(true));
    QCOMPARE(body.value(u"message"_s), QJsonValue(u"Paired with the Serato DJ Pro connector."_s));
    QCOMPARE(body.value(u"leftState"_s), QJsonValue(u"stopped"_s));
    QCOMPARE(body.value(u"rightState"_s), QJsonValue(u"stopped"_s));
    QVERIFY(body.value(u"leftVolume"_s).isDouble());
    QCOMPARE(body.value(u"leftVolume"_s).toInt(), 100);
    QCOMPARE(body.value(u"rightVolume"_s).toInt(), 100);
    QVERIFY(body.value(u"scriptRevision"_s).isDouble());

    const QString token = body.value(u"token"_s).toString();
    QVERIFY(m_harness->router()->isAuthorized(token));
    QCOMPARE(respond(request(u"GET"_s, u"/api/status"_s, {}, token)).status, 200);
}

void RemoteAPITest::pair_refuses_data()
{
    QTest::addColumn<QByteArray>("body"); // "CODE" stands for the current pairing code

    QTest::newRow("wrong code") << R"({"code":"wrong!"})"_ba;
    QTest::newRow("code as a number") << R"({"code":CODE})"_ba;
    QTest::newRow("code missing") << R"({"pin":"CODE"})"_ba;
    QTest::newRow("code null") << R"({"code":null})"_ba;
    QTest::newRow("top level array") << R"(["CODE"])"_ba;
    QTest::newRow("top level string") << R"("CODE")"_ba;
    QTest::newRow("not JSON") << "code=CODE"_ba;
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("invalid UTF-8") << "{\"code\":\"CODE\xff\"}"_ba;
    QTest::newRow("trailing garbage") << R"({"code":"CODE"}x)"_ba;
}

void RemoteAPITest::pair_refuses()
{
    QFETCH(QByteArray, body);
    QCOMPARE(m_harness->router()->pairingCode(), kPairingCode);
    body.replace("CODE", kPairingCode.toUtf8());
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/pair"_s, body));
    QCOMPARE(response.status, 403);
    QCOMPARE(response.reason, u"Forbidden"_s);
    QCOMPARE(bodyOf(response),
             QJsonObject({{u"ok"_s, false}, {u"message"_s, u"That pairing code is not correct."_s}}));
    QCOMPARE(m_harness->router()->pairedDeviceCount(), 0);
}

void RemoteAPITest::pair_throttlesGuessesPerPeer()
{
    const QByteArray right = json({{u"code"_s, kPairingCode}});
    const QByteArray wrong = json({{u"code"_s, u"000000"_s}});
    for (int guess = 0; guess < 10; ++guess)
        QCOMPARE(respond(request(u"POST"_s, u"/api/pair"_s, wrong)).status, 403);

    // Even the right code is refused from the guessing address, without being tried.
    const HTTPResponse refused = respond(request(u"POST"_s, u"/api/pair"_s, right));
    QCOMPARE(refused.status, 403);
    QCOMPARE(bodyOf(refused).value(u"message"_s), QJsonValue(u"That pairing code is not correct."_s));
    QCOMPARE(m_harness->router()->pairedDeviceCount(), 0);

    QCOMPARE(respond(request(u"POST"_s, u"/api/pair"_s, right), kOtherPhone).status, 200);
    QCOMPARE(m_harness->router()->pairedDeviceCount(), 1);

    m_harness->clock()->advance(10 * 60 * 1000);
    QCOMPARE(respond(request(u"POST"_s, u"/api/pair"_s, right)).status, 200);
    QCOMPARE(m_harness->router()->pairedDeviceCount(), 2);
}

void RemoteAPITest::status_reportsRouterState()
{
    const QString token = pairedToken();
    m_harness->router()->handle(RemoteCommand::play, DeckSide::right);
    m_harness->router()->handleVolume(50, DeckSide::left);
    const qint64 revision = m_harness->router()->updateWeddingScript(u"[CUE] First dance"_s);

    const HTTPResponse response = respond(request(u"GET"_s, u"/api/status"_s, {}, token));
    QCOMPARE(response.status, 200);
    const QJsonObject body = bodyOf(response);
    QCOMPARE(sortedKeys(body),
             QStringList({u"leftState"_s, u"leftVolume"_s, u"midiDevice"_s, u"ok"_s, u"pairedDevices"_s,
                          u"rightState"_s, u"rightVolume"_s, u"scriptRevision"_s}));
    QCOMPARE(body.value(u"leftState"_s), QJsonValue(u"stopped"_s));
    QCOMPARE(body.value(u"rightState"_s), QJsonValue(u"playing"_s));
    // Serato has one music level for both decks.
    QCOMPARE(body.value(u"leftVolume"_s), QJsonValue(50));
    QCOMPARE(body.value(u"rightVolume"_s), QJsonValue(50));
    QCOMPARE(body.value(u"pairedDevices"_s), QJsonValue(1));
    QCOMPARE(body.value(u"scriptRevision"_s).toInteger(), revision);
    QCOMPARE(body.value(u"midiDevice"_s), QJsonValue(u"Tarvik DJ Connector Serato"_s));
}

void RemoteAPITest::track_onlyWhileOneIsPlaying()
{
    const QString token = pairedToken();
    QVERIFY(!bodyOf(respond(request(u"GET"_s, u"/api/status"_s, {}, token))).contains(u"track"_s));

    m_harness->playFile(u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s);
    const QJsonObject track{{u"title"_s, u"Song Name"_s}};
    QCOMPARE(bodyOf(respond(request(u"GET"_s, u"/api/status"_s, {}, token))).value(u"track"_s),
             QJsonValue(track));
    const QJsonObject paired = bodyOf(
        respond(request(u"POST"_s, u"/api/pair"_s, json({{u"code"_s, m_harness->router()->pairingCode()}}))));
    QCOMPARE(paired.value(u"track"_s), QJsonValue(track));
}

void RemoteAPITest::script_readsRevisionAs64BitInteger()
{
    // Above 2^53, where a double would lose the last digit.
    const qint64 revision = 9'007'199'254'740'993;
    m_harness->fixture().settings()->setValue(u"TarvikDJConnector.serato.weddingScript"_s,
                                              u"Line one\nLine two"_s);
    m_harness->fixture().settings()->setValue(u"TarvikDJConnector.serato.scriptRevision"_s, revision);
    m_harness->reload();
    m_server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router());

    const HTTPResponse response = respond(request(u"GET"_s, u"/api/script"_s, {}, pairedToken()));
    QCOMPARE(response.status, 200);
    QVERIFY(response.body.contains("\"revision\":9007199254740993"));
    const QJsonObject body = bodyOf(response);
    QCOMPARE(sortedKeys(body), QStringList({u"ok"_s, u"revision"_s, u"script"_s}));
    QCOMPARE(body.value(u"script"_s), QJsonValue(u"Line one\nLine two"_s));
}

void RemoteAPITest::script_replaces()
{
    const QString token = pairedToken();
    const QString script = u"  [CUE] Entrance\nFirst dance…  "_s;
    const HTTPResponse response =
        respond(request(u"POST"_s, u"/api/script"_s, json({{u"script"_s, script}}), token));
    QCOMPARE(response.status, 200);
    const QJsonObject body = bodyOf(response);
    QCOMPARE(sortedKeys(body), QStringList({u"message"_s, u"ok"_s, u"revision"_s}));
    QCOMPARE(body.value(u"message"_s), QJsonValue(u"Wedding script saved on this computer."_s));
    const WeddingScriptSnapshot snapshot = m_harness->router()->weddingScriptSnapshot();
    QCOMPARE(snapshot.text, u"[CUE] Entrance\nFirst dance…"_s);
    QCOMPARE(body.value(u"revision"_s).toInteger(), snapshot.revision);

    // The largest body the route accepts.
    const QByteArray head = R"({"script":")";
    const QByteArray largest = head + QByteArray(200000 - head.size() - 2, 'a') + "\"}";
    QCOMPARE(largest.size(), 200000);
    QCOMPARE(respond(request(u"POST"_s, u"/api/script"_s, largest, token)).status, 200);
    QCOMPARE(respond(request(u"POST"_s, u"/api/script"_s, R"({"script":""})", token)).status, 200);
    QCOMPARE(m_harness->router()->weddingScriptSnapshot().text, QString());
}

void RemoteAPITest::script_refuses_data()
{
    QTest::addColumn<QByteArray>("body");

    const QByteArray head = R"({"script":")";
    QTest::newRow("200001 bytes") << head + QByteArray(200001 - head.size() - 2, 'a') + "\"}";
    QTest::newRow("not JSON") << "script"_ba;
    QTest::newRow("top level array") << R"(["text"])"_ba;
    QTest::newRow("script a number") << R"({"script":5})"_ba;
    QTest::newRow("script null") << R"({"script":null})"_ba;
    QTest::newRow("script missing") << R"({"text":"x"})"_ba;
    QTest::newRow("invalid UTF-8") << "{\"script\":\"\xc3\x28\"}"_ba;
    QTest::newRow("deep nesting") << QByteArray(5000, '[') + QByteArray(5000, ']');
}

void RemoteAPITest::script_refuses()
{
    QFETCH(QByteArray, body);
    const QString token = pairedToken();
    const qint64 before = m_harness->router()->weddingScriptSnapshot().revision;
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/script"_s, body, token));
    QCOMPARE(response.status, 400);
    QCOMPARE(bodyOf(response).value(u"message"_s), QJsonValue(u"The wedding script could not be saved."_s));
    QCOMPARE(m_harness->router()->weddingScriptSnapshot().revision, before);
}

void RemoteAPITest::command_carriesOut_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("deck");
    QTest::addColumn<QString>("expectedState");

    QTest::newRow("play left") << R"({"command":"play","deck":"left"})"_ba << u"left"_s << u"playing"_s;
    QTest::newRow("PLAY LEFT in capitals")
        << R"({"command":"PLAY","deck":"LEFT"})"_ba << u"left"_s << u"playing"_s;
    QTest::newRow("Stop Right") << R"({"command":"Stop","deck":"Right"})"_ba << u"right"_s << u"stopped"_s;
    QTest::newRow("play-next") << R"({"command":"play-next","deck":"right"})"_ba << u"right"_s
                               << u"playing"_s;
    QTest::newRow("other keys ignored")
        << R"({"command":"play","deck":"left","percent":5,"x":[{}]})"_ba << u"left"_s << u"playing"_s;
}

void RemoteAPITest::command_carriesOut()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, deck);
    QFETCH(QString, expectedState);
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/command"_s, body, pairedToken()));
    QCOMPARE(response.status, 200);
    const QJsonObject result = bodyOf(response);
    QCOMPARE(sortedKeys(result),
             QStringList({u"commandID"_s, u"deck"_s, u"expectedState"_s, u"message"_s, u"ok"_s}));
    QCOMPARE(result.value(u"deck"_s), QJsonValue(deck));
    QCOMPARE(result.value(u"expectedState"_s), QJsonValue(expectedState));
    QCOMPARE(m_harness->router()->expectedState(*deckSideFromRawValue(deck)), expectedState);
}

void RemoteAPITest::command_refuses_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("unknown command") << R"({"command":"rewind","deck":"left"})"_ba;
    QTest::newRow("case name instead of raw value") << R"({"command":"playNext","deck":"left"})"_ba;
    QTest::newRow("unknown deck") << R"({"command":"play","deck":"middle"})"_ba;
    QTest::newRow("deck missing") << R"({"command":"play"})"_ba;
    QTest::newRow("command missing") << R"({"deck":"left"})"_ba;
    QTest::newRow("command a number") << R"({"command":1,"deck":"left"})"_ba;
    QTest::newRow("deck an array") << R"({"command":"play","deck":["left"]})"_ba;
    QTest::newRow("volume with unknown deck") << R"({"command":"volume","deck":"both","percent":50})"_ba;
    QTest::newRow("top level array") << R"([{"command":"play","deck":"left"}])"_ba;
    QTest::newRow("not JSON") << "command=play&deck=left"_ba;
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("invalid UTF-8") << "{\"command\":\"pl\xff\",\"deck\":\"left\"}"_ba;
    QTest::newRow("number beyond double range") << R"({"command":"volume","deck":"left","percent":1e999})"_ba;
    QTest::newRow("deep nesting") << QByteArray(100000, '[') + QByteArray(100000, ']');
    QTest::newRow("deep object nesting")
        << QByteArray("{\"a\":").repeated(3000) + "1" + QByteArray(3000, '}');
}

void RemoteAPITest::command_refuses()
{
    QFETCH(QByteArray, body);
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/command"_s, body, pairedToken()));
    QCOMPARE(response.status, 400);
    QCOMPARE(response.reason, u"Bad Request"_s);
    QCOMPARE(bodyOf(response), QJsonObject({{u"ok"_s, false}, {u"message"_s, u"Unknown command."_s}}));
    QCOMPARE(m_harness->router()->expectedState(DeckSide::left), u"stopped"_s);
}

void RemoteAPITest::volume_accepts_data()
{
    QTest::addColumn<QByteArray>("percent");

    QTest::newRow("number") << "75"_ba;
    QTest::newRow("string") << R"("75")"_ba;
    QTest::newRow("string with plus") << R"("+75")"_ba;
    QTest::newRow("string with leading zero") << R"("075")"_ba;
    QTest::newRow("integral decimal number") << "75.0"_ba;
    QTest::newRow("exponent") << "7.5e1"_ba;
}

void RemoteAPITest::volume_accepts()
{
    QFETCH(QByteArray, percent);
    const QByteArray body = R"({"command":"VOLUME","deck":"right","percent":)" + percent + "}";
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/command"_s, body, pairedToken()));
    QCOMPARE(response.status, 200);
    const QJsonObject result = bodyOf(response);
    QCOMPARE(result.value(u"volumePercent"_s), QJsonValue(75));
    QCOMPARE(result.value(u"deck"_s), QJsonValue(u"right"_s));
    QCOMPARE(m_harness->router()->expectedVolume(DeckSide::right), 75);
}

void RemoteAPITest::volume_refuses_data()
{
    QTest::addColumn<QByteArray>("percent"); // empty: key absent

    QTest::newRow("not offered") << "60"_ba;
    QTest::newRow("fraction") << "75.5"_ba;
    QTest::newRow("fraction as string") << R"("75.5")"_ba;
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("null") << "null"_ba;
    QTest::newRow("boolean") << "true"_ba;
    QTest::newRow("empty string") << R"("")"_ba;
    QTest::newRow("spaces in string") << R"(" 75")"_ba;
    QTest::newRow("NaN string") << R"("NaN")"_ba;
    QTest::newRow("infinity string") << R"("inf")"_ba;
    QTest::newRow("array") << "[75]"_ba;
    QTest::newRow("huge number") << "1e300"_ba;
    QTest::newRow("beyond 64 bits as string") << R"("99999999999999999999")"_ba;
    QTest::newRow("64-bit minimum as string") << R"("-9223372036854775808")"_ba;
    // 2^32 + 75 would wrap to 75 in a 32-bit int.
    QTest::newRow("wraps to 75 in 32 bits") << "4294967371"_ba;
    QTest::newRow("wraps to 75 in 32 bits, string") << R"("4294967371")"_ba;
    QTest::newRow("negative") << "-75"_ba;
}

void RemoteAPITest::volume_refuses()
{
    QFETCH(QByteArray, percent);
    QByteArray body = R"({"command":"volume","deck":"right")"_ba;
    if (!percent.isEmpty())
        body += R"(,"percent":)" + percent;
    body += "}";
    const HTTPResponse response = respond(request(u"POST"_s, u"/api/command"_s, body, pairedToken()));
    QCOMPARE(response.status, 400);
    QCOMPARE(bodyOf(response),
             QJsonObject({{u"ok"_s, false}, {u"message"_s, u"Choose 25, 50, 75, or 100 percent."_s}}));
    QCOMPARE(m_harness->router()->expectedVolume(DeckSide::right), 100);
}

QTEST_GUILESS_MAIN(RemoteAPITest)
#include "tst_remoteapi.moc"
