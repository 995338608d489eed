#include "app/applicationlauncher.h"
#include "app/djsoftware.h"
#include "app/pairingpayload.h"
#include "support/testfixture.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

// The application's decisions below the model: which running program is the DJ software, what the
// pairing QR code carries, and which desktop entry opens it (on real files, starting real processes).
class AppDecisionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detection();
    void pairingPayload_data();
    void pairingPayload();
    void desktopEntries_areFoundInFolderOrderAndRun();
};

void AppDecisionsTest::detection()
{
    // Whole names in any case, or bundle identifiers in any case, of the selected platform only.
    const auto running = [](DJPlatform platform, const QString &name, const QString &bundle) {
        return isDJSoftwareRunning(platform, {{1, u"bash"_s, QString()}, {2, name, bundle}});
    };
    QVERIFY(running(DJPlatform::serato, u"SERATO DJ PRO"_s, QString()));
    QVERIFY(!running(DJPlatform::serato, u"Serato DJ Pro Helper"_s, QString()));
    QVERIFY(running(DJPlatform::virtualDJ, u"Other"_s, u"COM.AtomixProductions.VirtualDJHome"_s));
    QVERIFY(!running(DJPlatform::virtualDJ, QString(), u"com.atomixproductions"_s));
    QVERIFY(!running(DJPlatform::serato, u"VirtualDJ"_s, u"com.atomixproductions.virtualdj"_s));
}

void AppDecisionsTest::pairingPayload_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("payload"); // after "tarvikdjremote://pair?platform="; empty: no QR code
    const auto row = [](const char *name, DJPlatform platform, const QString &address, const QString &code,
                        const QString &payload) {
        QTest::newRow(name) << platform << address << code << payload;
    };
    row("virtualDJ keeps its capitals", DJPlatform::virtualDJ, u"http://10.0.0.7:53732"_s, u"123456"_s,
        u"virtualDJ&address=http://10.0.0.7:53732&code=123456"_s);
    row("escaped values keep the query's structure", DJPlatform::serato, u"http://a&b=c"_s, u"12 456"_s,
        u"serato&address=http://a%26b%3Dc&code=12%20456"_s);
    // Found by fuzzing: a "%" went in as the start of an escape, so the app read a different address.
    row("a percent sign stays literal", DJPlatform::serato, u"http://h/%41"_s, u"123456"_s,
        u"serato&address=http://h/%2541&code=123456"_s);
    row("no address yet", DJPlatform::serato, u"Finding this Mac…"_s, u"123456"_s, {});
    row("five characters", DJPlatform::serato, u"http://1.2.3.4:53731"_s, u"12345"_s, {});
}

void AppDecisionsTest::pairingPayload()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, address);
    QFETCH(QString, code);
    QFETCH(QString, payload);
    QCOMPARE(::pairingPayload(platform, address, code).value_or(u"tarvikdjremote://pair?platform="_s),
             u"tarvikdjremote://pair?platform="_s + payload);
}

void AppDecisionsTest::desktopEntries_areFoundInFolderOrderAndRun()
{
    TestFixture fixture;
    const QString marker = fixture.path(u"opened"_s);
    // Only the [Desktop Entry] section counts; field codes are dropped and quoting is honoured.
    fixture.writeFile(
        u"local/com.serato.seratodj.desktop"_s,
        "[Desktop Action other]\nExec=false\n[Desktop Entry]\nName=Serato\nExec=sh -c \"echo > '"
            + marker.toUtf8() + "'\" %U\n");
    fixture.writeFile(u"system/com.serato.seratodj.desktop"_s, "[Desktop Entry]\nExec=false\n");
    fixture.writeFile(u"local/broken.desktop"_s, "[Desktop Entry]\nName=Broken\n");
    SystemApplicationLauncher launcher({fixture.path(u"local"_s), fixture.path(u"system"_s)});
    QVERIFY(!launcher.locate(u"com.atomixproductions.virtualdj"_s));
    QVERIFY(launcher.exists(fixture.path(u"local"_s))
            && !launcher.exists(fixture.path(u"Serato DJ Pro.app"_s)));

    QStringList outcomes;
    const auto open = [&](const QString &location) {
        launcher.open(location,
                      [&](std::optional<QString> error) { outcomes << error.value_or(u"opened"_s); });
    };
    open(launcher.locate(u"com.serato.seratodj"_s).value_or(QString()));
    open(fixture.path(u"local/broken.desktop"_s));
    open(fixture.path(u"Serato DJ Pro.app"_s));
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 3, 10000);
    QCOMPARE(outcomes.first(), u"opened"_s);
    QCOMPARE(outcomes[1], fixture.path(u"local/broken.desktop"_s) + u" has no command to run."_s);
    QVERIFY(!outcomes[2].isEmpty() && outcomes[2] != u"opened"_s);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
}

QTEST_GUILESS_MAIN(AppDecisionsTest)
#include "tst_appdecisions.moc"
