#include "phoneroutedharness.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// Pairing and the paired devices' records as the phone reaches them through the remote API.
class PairedDevicesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pair_namesTheDeviceAfterItsUserAgent()
    {
        const std::tuple<std::optional<QString>, QString, QString> cases[] = {
            {PhoneRoutedHarness::kUserAgent, PhoneRoutedHarness::kPhone, u"Tarvik DJ Remote (192.168.1.23)"_s},
            {std::nullopt, u"fe80::1"_s, u"Unknown device (fe80::1)"_s},
            {u"(iPhone; iOS 17)"_s, u"10.0.0.2"_s, u"Unknown device (10.0.0.2)"_s},
            {u"Bad%07Na%0Ame%1B/1"_s, u"10.0.0.2"_s, u"BadName (10.0.0.2)"_s},
            {u"%00%0D%0A"_s, u"10.0.0.2"_s, u"Unknown device (10.0.0.2)"_s},
            {QString(100, u'x') + u"/1"_s, u"10.0.0.2"_s, QString(64, u'x') + u" (10.0.0.2)"_s}};
        for (const auto &[userAgent, peer, named] : cases) {
            PhoneRoutedHarness api;
            QVERIFY(!api.pair(peer, userAgent).isEmpty());
            QCOMPARE(api.takeMessages(), QStringList{u"Paired "_s + named + u'.'});
            const QList<PairedDevice> devices = api.router->pairedDevices();
            QCOMPARE(devices.size(), 1);
            QCOMPARE(devices[0].name + u" ("_s + devices[0].pairedFrom + u')', named);
        }
    }

    void records_surviveRestartBesideOlderTokensUntilForgottenOrReset()
    {
        // Paired by an older version: a token, no records; a stored code that is not six characters is
        // replaced, so a blank one cannot pair.
        const QString older = u"0123456789ABCDEF0123456789ABCDEF"_s;
        PhoneRoutedHarness api(DJPlatform::serato,
                          {{u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{older}},
                           {u"TarvikDJConnector.serato.pairingCode"_s, QString()}});
        const QString code = api.router->pairingCode();
        QVERIFY2(QRegularExpression(u"^[0-9]{6}$"_s).match(code).hasMatch(), qPrintable(code));
        const QString token = api.pair();
        const qint64 pairedAt = api.clock->nowMSecsSinceEpoch();
        api.clock->advance(5000);
        QCOMPARE(api.poll(token), 200);
        QCOMPARE(api.answer(u"GET /api/status"_s, {}, older, u"192.168.1.77"_s), 200);
        api.restart();
        QCOMPARE(api.router->pairingCode(), code);
        PairedDevice unnamed = PairedDevice::unknown(deviceId(older));
        unnamed.lastSeenAt = pairedAt + 5000;
        unnamed.lastSeenFrom = u"192.168.1.77"_s;
        QList<PairedDevice> expected{{deviceId(token), u"Tarvik DJ Remote"_s, u"192.168.1.23"_s, pairedAt,
                                      pairedAt + 5000, u"192.168.1.23"_s},
                                     unnamed};
        std::sort(expected.begin(), expected.end(), [](auto &a, auto &b) { return a.id < b.id; });
        QCOMPARE(api.router->pairedDevices(), expected);

        // Forgetting revokes that one device at once, saved before it returns.
        api.takeMessages();
        QVERIFY(api.router->forgetDevice(deviceId(older)) && !api.router->forgetDevice(deviceId(older)));
        QCOMPARE(api.takeMessages(),
                 QStringList{u"Forgot Unknown device (192.168.1.77). It must pair again."_s});
        QCOMPARE(api.poll(older), 401);
        QCOMPARE(api.poll(token), 200);
        QCOMPARE(api.lastBody.value(u"pairedDevices"_s).toInt(), 1);
        QVERIFY(!api.newRouter()->isAuthorized(older));

        const QString newCode = api.router->resetPairing();
        api.restart();
        QCOMPARE(api.router->pairingCode(), newCode);
        QCOMPARE(api.router->pairedDeviceCount(), 0);
    }

    void wrongCodes_announcedOncePerAddressEvery30Seconds()
    {
        PhoneRoutedHarness api;
        const auto guess = [&api](const QString &peer = u"192.168.1.66"_s) {
            return api.answer(u"POST /api/pair"_s, R"({"code":"000000"})", {}, peer);
        };
        QCOMPARE(guess(), 403);
        QCOMPARE(guess(u"2001:db8::5"_s), 403);
        api.clock->advance(29'999);
        guess();
        QCOMPARE(api.takeMessages(), (QStringList{u"Wrong pairing code from 192.168.1.66."_s,
                                                  u"Wrong pairing code from 2001:db8::5."_s}));
        api.clock->advance(1);
        guess();
        QCOMPARE(api.takeMessages(), QStringList{u"Wrong pairing code from 192.168.1.66."_s});

        // The guess that starts the block is announced once, and the refusals after it are not.
        for (int attempt = 0; attempt < 12; ++attempt)
            QCOMPARE(guess(), 403);
        QCOMPARE(api.takeMessages(),
                 QStringList{
                     u"Pairing from 192.168.1.66 is blocked for 10 minutes after too many wrong codes."_s});
    }

    void polls_keepTheDeviceConnectedAndSaveLastSeenAtMostOnceAMinute()
    {
        PhoneRoutedHarness api;
        int changes = 0;
        api.router->setOnDevicesChange([&changes] { ++changes; });
        const QString token = api.pair();
        const auto connectedAfter = [&api](qint64 msecs) {
            api.clock->advance(msecs);
            return api.router->pairedDevices().value(0).connected(api.clock->nowMSecsSinceEpoch());
        };
        QVERIFY(!connectedAfter(0));
        // Every write replaces the whole file, so a file that comes back is one write.
        const QString file = api.fixture.settingsFilePath();
        int writes = 0;
        QVERIFY(QFile::remove(file));
        for (int poll = 0; poll < 100; ++poll) {
            QCOMPARE(api.poll(token), 200);
            QVERIFY(connectedAfter(1000));
            if (QFile::exists(file)) {
                ++writes;
                QVERIFY(QFile::remove(file));
            }
        }
        QCOMPARE(writes, 1);
        // Connected until 10 seconds after the last request; a poll while connected changes nothing.
        QVERIFY(connectedAfter(PairedDevice::kConnectedMSecs - 1001));
        QVERIFY(!connectedAfter(1));
        QCOMPARE(api.poll(token), 200);
        QCoreApplication::processEvents();
        QCOMPARE(changes, 3);
        // The last poll's time is saved when the router goes.
        api.restart();
        QCOMPARE(api.router->pairedDevices().value(0).lastSeenAt, api.clock->nowMSecsSinceEpoch());
    }
};

QTEST_GUILESS_MAIN(PairedDevicesTest)
#include "tst_paireddevices.moc"
