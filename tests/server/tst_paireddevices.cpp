#include "server/remoteapi.h"

#include "serverharness.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

const QString kUserAgent = u"Tarvik%20DJ%20Remote/42 CFNetwork/1494.0.7 Darwin/23.4.0"_s;
const QHostAddress kPhone(u"::ffff:192.168.1.23"_s);

// The router's devices and messages seen through the remote API, as the phone reaches them.
struct Api
{
    explicit Api(QVariantHash stored = {})
        : harness(std::move(stored))
    {
        harness.router->setOnStateChange([this](const QString &message) { messages << message; });
    }

    int answer(const QString &request, const QByteArray &body = {}, const QString &token = {},
               const QHostAddress &peer = kPhone, const std::optional<QString> &userAgent = kUserAgent)
    {
        HTTPRequest parsed{request.section(u' ', 0, 0), request.section(u' ', 1), {}, body};
        if (!token.isEmpty())
            parsed.headers.insert(u"authorization"_s, u"Bearer "_s + token);
        if (userAgent)
            parsed.headers.insert(u"user-agent"_s, *userAgent);
        const HTTPResponse response = api->response(parsed, peer);
        lastBody = QJsonDocument::fromJson(response.body).object();
        return response.status;
    }

    QString pair(const QHostAddress &peer = kPhone, const std::optional<QString> &userAgent = kUserAgent)
    {
        answer(u"POST /api/pair"_s, R"({"code":"482913"})", {}, peer, userAgent);
        return lastBody.value(u"token"_s).toString();
    }

    int poll(const QString &token) { return answer(u"GET /api/status"_s, {}, token); }

    // The connector stops, and a new router reads the file.
    std::shared_ptr<CommandRouter> restart()
    {
        api.reset();
        harness.router.reset();
        return std::make_shared<CommandRouter>(DJPlatform::serato, harness.midi, harness.fixture.settings(),
                                               nullptr, harness.clock);
    }

    QStringList takeMessages()
    {
        QCoreApplication::processEvents();
        return std::exchange(messages, {});
    }

    RouterHarness harness;
    std::unique_ptr<RemoteAPI> api =
        std::make_unique<RemoteAPI>(DJPlatform::serato, harness.router, harness.clock);
    QJsonObject lastBody;
    QStringList messages;
};

} // namespace

class PairedDevicesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pair_namesTheDeviceAfterItsUserAgent_data();
    void pair_namesTheDeviceAfterItsUserAgent();
    void records_surviveRestartBesideOlderTokens();
    void forget_revokesOnlyThatDeviceAtOnce();
    void presence_endsTenSecondsAfterTheLastRequest();
    void wrongCodes_announcedOncePerAddressEvery30Seconds();
    void polls_saveLastSeenAtMostOnceAMinute();
};

void PairedDevicesTest::pair_namesTheDeviceAfterItsUserAgent_data()
{
    QTest::addColumn<std::optional<QString>>("userAgent");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const std::optional<QString> &userAgent, const QString &peer,
                        const QString &message) { QTest::newRow(name) << userAgent << peer << message; };
    row("percent-encoded, IPv4-mapped", kUserAgent, u"::ffff:192.168.1.23"_s,
        u"Paired Tarvik DJ Remote (192.168.1.23)."_s);
    row("no User-Agent, IPv6", std::nullopt, u"fe80::1"_s, u"Paired Unknown device (fe80::1)."_s);
    row("only a comment", u"(iPhone; iOS 17)"_s, u"10.0.0.2"_s, u"Paired Unknown device (10.0.0.2)."_s);
    row("control characters", u"Bad%07Na%0Ame%1B/1"_s, u"10.0.0.2"_s, u"Paired BadName (10.0.0.2)."_s);
    row("only control characters", u"%00%0D%0A"_s, u"10.0.0.2"_s, u"Paired Unknown device (10.0.0.2)."_s);
    row("overlong", QString(100, u'x') + u"/1"_s, u"10.0.0.2"_s,
        u"Paired "_s + QString(64, u'x') + u" (10.0.0.2)."_s);
}

void PairedDevicesTest::pair_namesTheDeviceAfterItsUserAgent()
{
    QFETCH(std::optional<QString>, userAgent);
    QFETCH(QString, peer);
    QFETCH(QString, message);
    Api api;
    const QString token = api.pair(QHostAddress(peer), userAgent);
    QCOMPARE(api.takeMessages(), QStringList{message});
    const QList<PairedDevice> devices = api.harness.router->pairedDevices();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(
        devices[0].id,
        QString::fromLatin1(
            QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex().left(8).toUpper()));
    QCOMPARE(u"Paired "_s + devices[0].name + u" ("_s + devices[0].pairedFrom + u")."_s, message);
}

void PairedDevicesTest::records_surviveRestartBesideOlderTokens()
{
    // Paired by an older version: tokens, no records.
    const QString older = u"0123456789ABCDEF0123456789ABCDEF"_s;
    Api api({{u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{older}}});
    const QString token = api.pair();
    const qint64 pairedAt = api.harness.clock->nowMSecsSinceEpoch();
    api.harness.clock->advance(5000);
    QCOMPARE(api.poll(token), 200);
    QCOMPARE(api.poll(older), 200);
    const std::shared_ptr<CommandRouter> restarted = api.restart();
    const PairedDevice named{deviceId(token), u"Tarvik DJ Remote"_s, u"192.168.1.23"_s,
                             pairedAt,        pairedAt + 5000,       u"192.168.1.23"_s};
    PairedDevice unnamed = PairedDevice::unknown(deviceId(older));
    unnamed.lastSeenAt = pairedAt + 5000;
    unnamed.lastSeenFrom = u"192.168.1.23"_s;
    QList<PairedDevice> expected{named, unnamed};
    std::sort(expected.begin(), expected.end(), [](auto &a, auto &b) { return a.id < b.id; });
    QCOMPARE(restarted->pairedDevices(), expected);
    // The token list keeps its older form; the records hold no token.
    const QSettings file(api.harness.fixture.settingsFilePath(), QSettings::IniFormat);
    QStringList tokens{older, token};
    tokens.sort();
    QCOMPARE(file.value(u"TarvikDJConnector.serato.pairedTokens"_s).toStringList(), tokens);
    const QString records = file.value(u"TarvikDJConnector.serato.pairedDevices"_s).toString();
    QVERIFY(records.startsWith(u'[') && !records.contains(token) && !records.contains(older));
}

void PairedDevicesTest::forget_revokesOnlyThatDeviceAtOnce()
{
    Api api;
    const QString lost = api.pair();
    const QString kept = api.pair(QHostAddress(u"192.168.1.40"_s));
    api.harness.clock->advance(1000);
    QCOMPARE(api.answer(u"GET /api/status"_s, {}, lost, QHostAddress(u"192.168.1.77"_s)), 200);
    api.takeMessages();

    QVERIFY(api.harness.router->forgetDevice(deviceId(lost)));
    QVERIFY(!api.harness.router->forgetDevice(deviceId(lost)));
    QCOMPARE(api.takeMessages(),
             QStringList{u"Forgot Tarvik DJ Remote (192.168.1.77). It must pair again."_s});
    QCOMPARE(api.poll(lost), 401);
    QCOMPARE(api.poll(kept), 200);
    QCOMPARE(api.lastBody.value(u"pairedDevices"_s).toInt(), 1);
    // Saved before it returned: a router reading the file now no longer knows the token.
    const auto reader = std::make_shared<CommandRouter>(
        DJPlatform::serato, api.harness.midi, api.harness.fixture.settings(), nullptr, api.harness.clock);
    QVERIFY(!reader->isAuthorized(lost) && reader->isAuthorized(kept));
    QCOMPARE(reader->pairedDevices().size(), 1);
}

void PairedDevicesTest::presence_endsTenSecondsAfterTheLastRequest()
{
    Api api;
    int changes = 0;
    api.harness.router->setOnDevicesChange([&changes] { ++changes; });
    const QString token = api.pair();
    const auto connected = [&] {
        return api.harness.router->pairedDevices().value(0).connected(
            api.harness.clock->nowMSecsSinceEpoch());
    };
    QVERIFY(!connected());
    QCOMPARE(api.poll(token), 200);
    api.harness.clock->advance(PairedDevice::kConnectedMSecs - 1);
    QVERIFY(connected());
    QCOMPARE(api.poll(token), 200);
    api.harness.clock->advance(PairedDevice::kConnectedMSecs);
    QVERIFY(!connected());
    QCOMPARE(api.poll(token), 200);
    // Paired, connected, connected again: a poll while connected changes nothing.
    QCoreApplication::processEvents();
    QCOMPARE(changes, 3);
}

void PairedDevicesTest::wrongCodes_announcedOncePerAddressEvery30Seconds()
{
    Api api;
    const QHostAddress guesser(u"192.168.1.66"_s);
    const auto guess = [&](const QHostAddress &peer = QHostAddress(u"192.168.1.66"_s)) {
        return api.answer(u"POST /api/pair"_s, R"({"code":"000000"})", {}, peer);
    };
    QCOMPARE(guess(), 403);
    QCOMPARE(guess(QHostAddress(u"2001:db8::5"_s)), 403);
    api.harness.clock->advance(29'999);
    guess();
    QCOMPARE(api.takeMessages(), (QStringList{u"Wrong pairing code from 192.168.1.66."_s,
                                              u"Wrong pairing code from 2001:db8::5."_s}));
    api.harness.clock->advance(1);
    guess();
    QCOMPARE(api.takeMessages(), QStringList{u"Wrong pairing code from 192.168.1.66."_s});

    // The guess that starts the block is announced once, and the refusals after it are not.
    for (int attempt = 0; attempt < 12; ++attempt)
        QCOMPARE(guess(), 403);
    QCOMPARE(
        api.takeMessages(),
        QStringList{u"Pairing from 192.168.1.66 is blocked for 10 minutes after too many wrong codes."_s});
}

void PairedDevicesTest::polls_saveLastSeenAtMostOnceAMinute()
{
    Api api;
    const QString token = api.pair();
    const QString file = api.harness.fixture.settingsFilePath();
    // Every write replaces the whole file, so a file that comes back is one write.
    int writes = 0;
    QVERIFY(QFile::remove(file));
    for (int poll = 0; poll < 100; ++poll) {
        api.harness.clock->advance(1000);
        QCOMPARE(api.poll(token), 200);
        if (QFile::exists(file)) {
            ++writes;
            QVERIFY(QFile::remove(file));
        }
    }
    QCOMPARE(writes, 1);
    // The last poll's time is saved when the router goes.
    QCOMPARE(api.restart()->pairedDevices().value(0).lastSeenAt, api.harness.clock->nowMSecsSinceEpoch());
}

QTEST_GUILESS_MAIN(PairedDevicesTest)
#include "tst_paireddevices.moc"
