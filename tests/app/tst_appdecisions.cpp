#include "app/commandline.h"
#include "app/djsoftware.h"
#include "app/pairingpayload.h"
#include "app/updatemanifest.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The application's pure decisions: its command line, the update verdict, the DJ software's
// detection and the pairing QR payload.
class AppDecisionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void updateVerdict_data();
    void updateVerdict();
    void detection();
    void pairingPayload_data();
    void pairingPayload();
};

void AppDecisionsTest::commandLine_data()
{
    // The arguments, and the action with its headless flag, platform or reason.
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("outcome");
    const std::pair<const char *, QString> rows[] = {
        {"", u"run"_s},
        {"--headless --platform virtualDJ", u"run headless virtualDJ"_s},
        {"--check-for-updates --platform=serato", u"check serato"_s},
        {"--install-mapping", u"install"_s},
        {"--version", u"version"_s},
        {"--help", u"help Usage: tarvik-dj-connector [options]"_s},
        {"--platform=virtualdj", u"fail Unknown platform \"virtualdj\": use serato or virtualDJ."_s},
        {"--install-mapping --check-for-updates",
         u"fail Choose one of --install-mapping and --check-for-updates."_s},
        {"--headless serato", u"fail Unexpected argument: serato"_s},
        {"--fast", u"fail Unknown option 'fast'."_s},
    };
    for (const auto &[arguments, outcome] : rows)
        QTest::newRow(*arguments ? arguments : "none") << QString::fromLatin1(arguments) << outcome;
}

void AppDecisionsTest::commandLine()
{
    QFETCH(QString, arguments);
    QFETCH(QString, outcome);
    const CommandLine line =
        CommandLine::parse(QStringList{u"tarvik-dj-connector"_s} + arguments.split(u' ', Qt::SkipEmptyParts));
    using A = CommandLine::Action;
    const QHash<A, QString> actions{{A::run, u"run"_s},
                                    {A::showHelp, u"help"_s},
                                    {A::showVersion, u"version"_s},
                                    {A::installMapping, u"install"_s},
                                    {A::checkForUpdates, u"check"_s},
                                    {A::fail, u"fail"_s}};
    QStringList seen{actions.value(line.action)};
    if (line.headless)
        seen << u"headless"_s;
    if (line.platform)
        seen << rawValue(*line.platform);
    // The help's first line names the program, not the file that happens to run it.
    if (line.action == A::fail || line.action == A::showHelp)
        seen << line.text.section(u'\n', 0, 0);
    QCOMPARE(seen.join(u' '), outcome);
}

void AppDecisionsTest::updateVerdict_data()
{
    // A published manifest, judged against this build (8): the message and link, or "refused".
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("verdict");
    const QString upToDate = u"Tarvik DJ Connector is up to date. "_s;
    const auto row = [](const char *name, const QByteArray &json, const QString &verdict) {
        QTest::newRow(name) << json << verdict;
    };
    row("newer", R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d.dmg"})",
        u"Version 1.0.7 is available. https://t.example/d.dmg"_s);
    row("same build", R"({"version":"1.0.9","build":8,"download_url":"http://t.example/"})", upToDate);
    row("older", R"({"version":"2.0","build":7,"download_url":"https://t.example/"})", upToDate);
    row("build as string", R"({"version":"1","build":"9","download_url":"https://t.example/"})",
        u"refused"_s);
    row("fractional build", R"({"version":"1","build":9.5,"download_url":"https://t.example/"})",
        u"refused"_s);
    row("missing link", R"({"version":"1.0.7","build":9})", u"refused"_s);
    row("relative link", R"({"version":"1","build":9,"download_url":"/d.dmg"})", u"refused"_s);
    row("file link", R"({"version":"1","build":9,"download_url":"file:///etc/passwd"})", u"refused"_s);
    row("custom scheme", R"({"version":"1","build":9,"download_url":"tarvik://run"})", u"refused"_s);
    row("not an object", "[1,2]", u"refused"_s);
}

void AppDecisionsTest::updateVerdict()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, verdict);
    const std::optional<UpdateManifest> manifest = UpdateManifest::decode(json);
    const UpdateVerdict judged = manifest ? judgeUpdate(*manifest, u"8"_s) : UpdateVerdict{u"refused"_s, {}};
    QCOMPARE((judged.message + u' ' + judged.downloadURL.toString()).trimmed(), verdict.trimmed());
    // An unreadable own build counts as 1.
    QCOMPARE(judgeUpdate({u"x"_s, 2, {}}, u"eight"_s).message, u"Version x is available."_s);
}

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
    QTest::addColumn<QString>("payload"); // empty: none
    const QString pair = u"tarvikdjremote://pair?platform="_s;
    QTest::newRow("serato") << DJPlatform::serato << u"http://192.168.1.20:53731"_s << u"123456"_s
                            << pair + u"serato&address=http://192.168.1.20:53731&code=123456"_s;
    QTest::newRow("virtualDJ keeps its capitals")
        << DJPlatform::virtualDJ << u"http://10.0.0.7:53732"_s << u"123456"_s
        << pair + u"virtualDJ&address=http://10.0.0.7:53732&code=123456"_s;
    QTest::newRow("escaped values keep the query's structure")
        << DJPlatform::serato << u"http://a&b=c"_s << u"12 456"_s
        << pair + u"serato&address=http://a%26b%3Dc&code=12%20456"_s;
    // Found by fuzzing: a "%" went in as the start of an escape, so the app read a different address.
    QTest::newRow("a percent sign stays literal") << DJPlatform::serato << u"http://h/%41"_s << u"123456"_s
                                                  << pair + u"serato&address=http://h/%2541&code=123456"_s;
    QTest::newRow("no address yet") << DJPlatform::serato << u"Finding this Mac…"_s << u"123456"_s
                                    << QString();
    QTest::newRow("five characters") << DJPlatform::serato << u"http://1.2.3.4:53731"_s << u"12345"_s
                                     << QString();
}

void AppDecisionsTest::pairingPayload()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, address);
    QFETCH(QString, code);
    QFETCH(QString, payload);
    QCOMPARE(::pairingPayload(platform, address, code).value_or(QString()), payload);
}

QTEST_GUILESS_MAIN(AppDecisionsTest)
#include "tst_appdecisions.moc"
