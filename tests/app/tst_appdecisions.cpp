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
    void detection()
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

    void pairingPayload()
    {
        QCOMPARE(::pairingPayload(DJPlatform::virtualDJ, u"http://10.0.0.7:53732"_s, u"123456"_s),
                 u"tarvikdjremote://pair?platform=virtualDJ&address=http://10.0.0.7:53732&code=123456"_s);
        // Escapes keep the query's structure. Found by fuzzing: a "%" went in as the start of an escape,
        // so the app read a different address.
        QCOMPARE(::pairingPayload(DJPlatform::serato, u"http://a&b=c/%41"_s, u"12 456"_s),
                 u"tarvikdjremote://pair?platform=serato&address=http://a%26b%3Dc/%2541&code=12%20456"_s);
        // No QR code before the address is known or for a code that is not whole.
        QCOMPARE(::pairingPayload(DJPlatform::serato, u"Finding this Mac…"_s, u"123456"_s), std::nullopt);
        QCOMPARE(::pairingPayload(DJPlatform::serato, u"http://1.2.3.4:53731"_s, u"12345"_s), std::nullopt);
    }

    void desktopEntries_areFoundInFolderOrderAndRun()
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
        for (const QString &location :
             {launcher.locate(u"com.serato.seratodj"_s).value_or(QString()),
              fixture.path(u"local/broken.desktop"_s), fixture.path(u"Serato DJ Pro.app"_s)}) {
            launcher.open(location,
                          [&](std::optional<QString> error) { outcomes << error.value_or(u"opened"_s); });
        }
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 3, 10000);
        QCOMPARE(outcomes.first(), u"opened"_s);
        QCOMPARE(outcomes[1], fixture.path(u"local/broken.desktop"_s) + u" has no command to run."_s);
        QVERIFY(!outcomes[2].isEmpty() && outcomes[2] != u"opened"_s);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    }
};

QTEST_GUILESS_MAIN(AppDecisionsTest)
#include "tst_appdecisions.moc"
