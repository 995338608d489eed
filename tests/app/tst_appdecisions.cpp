#include "app/commandline.h"
#include "app/djsoftware.h"
#include "app/updatemanifest.h"

#include <QTest>

using namespace Qt::StringLiterals;

class AppDecisionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detection_matchesWholeNamesAndIdentifiers_data();
    void detection_matchesWholeNamesAndIdentifiers();
    void manifest_decodesStrictly_data();
    void manifest_decodesStrictly();
    void verdict_comparesBuildsOnly();
    void commandLine_parses_data();
    void commandLine_parses();
};

void AppDecisionsTest::detection_matchesWholeNamesAndIdentifiers_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("bundle");
    QTest::addColumn<bool>("running");

    QTest::newRow("Serato by name") << DJPlatform::serato << u"Serato DJ Pro"_s << QString() << true;
    QTest::newRow("longer name") << DJPlatform::serato << u"Serato DJ Pro Helper"_s << QString() << false;
    QTest::newRow("Serato by identifier") << DJPlatform::serato << u"x"_s << u"com.serato.seratodj"_s << true;
    QTest::newRow("VirtualDJ Home, mixed case")
        << DJPlatform::virtualDJ << u"Other"_s << u"COM.AtomixProductions.VirtualDJHome"_s << true;
    QTest::newRow("VirtualDJ while Serato is selected")
        << DJPlatform::serato << u"VirtualDJ"_s << u"com.atomixproductions.virtualdj"_s << false;
    QTest::newRow("identifier prefix only")
        << DJPlatform::virtualDJ << u""_s << u"com.atomixproductions"_s << false;
}

void AppDecisionsTest::detection_matchesWholeNamesAndIdentifiers()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, name);
    QFETCH(QString, bundle);
    QFETCH(bool, running);
    const QList<RunningApplication> applications{{1, u"bash"_s, QString()}, {2, name, bundle}};
    QCOMPARE(isDJSoftwareRunning(platform, applications), running);
    QVERIFY(!isDJSoftwareRunning(platform, {}));
}

void AppDecisionsTest::manifest_decodesStrictly_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");

    QTest::newRow("complete")
        << R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d.dmg"})"_ba << true;
    QTest::newRow("build as string")
        << R"({"version":"1","build":"9","download_url":"https://t.example/"})"_ba << false;
    QTest::newRow("fractional build")
        << R"({"version":"1","build":9.5,"download_url":"https://t.example/"})"_ba << false;
    QTest::newRow("missing link") << R"({"version":"1.0.7","build":9})"_ba << false;
    QTest::newRow("relative link") << R"({"version":"1","build":9,"download_url":"/d.dmg"})"_ba << false;
    QTest::newRow("file link") << R"({"version":"1","build":9,"download_url":"file:///etc/passwd"})"_ba
                               << false;
    QTest::newRow("custom scheme") << R"({"version":"1","build":9,"download_url":"tarvik://run"})"_ba
                                   << false;
    QTest::newRow("not an object") << R"([1,2])"_ba << false;
}

void AppDecisionsTest::manifest_decodesStrictly()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    QCOMPARE(UpdateManifest::decode(json).has_value(), decodes);
}

void AppDecisionsTest::verdict_comparesBuildsOnly()
{
    const QUrl link(u"https://t.example/d.dmg"_s);
    const UpdateVerdict newer = judgeUpdate({u"1.0.7"_s, 9, link}, u"8"_s);
    QCOMPARE(newer.message, u"Version 1.0.7 is available."_s);
    QCOMPARE(newer.downloadURL, link);

    for (qint64 build : {8, 7}) {
        const UpdateVerdict current = judgeUpdate({u"2.0"_s, build, link}, u"8"_s);
        QCOMPARE(current.message, u"Tarvik DJ Connector is up to date."_s);
        QVERIFY(current.downloadURL.isEmpty());
    }
    // An unreadable own build counts as 1.
    QCOMPARE(judgeUpdate({u"x"_s, 2, link}, u"eight"_s).message, u"Version x is available."_s);
}

void AppDecisionsTest::commandLine_parses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<QString>("platform");

    using A = CommandLine::Action;
    QTest::newRow("nothing") << QStringList{} << int(A::run) << false << QString();
    QTest::newRow("headless virtualDJ") << QStringList{u"--headless"_s, u"--platform"_s, u"virtualDJ"_s}
                                        << int(A::run) << true << u"virtualDJ"_s;
    QTest::newRow("platform in wrong case")
        << QStringList{u"--platform=virtualdj"_s} << int(A::fail) << false << QString();
    QTest::newRow("install") << QStringList{u"--install-mapping"_s} << int(A::installMapping) << false
                             << QString();
    QTest::newRow("both one-shots") << QStringList{u"--install-mapping"_s, u"--check-for-updates"_s}
                                    << int(A::fail) << false << QString();
    QTest::newRow("unknown option") << QStringList{u"--fast"_s} << int(A::fail) << false << QString();
    QTest::newRow("help") << QStringList{u"--help"_s} << int(A::showHelp) << false << QString();
}

void AppDecisionsTest::commandLine_parses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(bool, headless);
    QFETCH(QString, platform);
    const CommandLine commandLine = CommandLine::parse(QStringList{u"tarvik-dj-connector"_s} + arguments);
    QCOMPARE(int(commandLine.action), action);
    QCOMPARE(commandLine.headless, headless);
    QCOMPARE(commandLine.platform ? rawValue(*commandLine.platform) : QString(), platform);
    if (commandLine.action == CommandLine::Action::fail)
        QVERIFY(!commandLine.text.isEmpty());
    // The help names the program, not the file that happens to run it.
    if (commandLine.action == CommandLine::Action::showHelp)
        QVERIFY2(commandLine.text.startsWith(u"Usage: tarvik-dj-connector [options]\n"_s), qPrintable(commandLine.text));
}

QTEST_GUILESS_MAIN(AppDecisionsTest)
#include "tst_appdecisions.moc"
