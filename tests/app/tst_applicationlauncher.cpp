#include "app/applicationlauncher.h"
#include "support/testfixture.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

// The launcher on real desktop entries in temporary folders, starting real processes.
class ApplicationLauncherTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void desktopEntries_areFoundInFolderOrderAndRun();
};

void ApplicationLauncherTest::desktopEntries_areFoundInFolderOrderAndRun()
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

QTEST_GUILESS_MAIN(ApplicationLauncherTest)
#include "tst_applicationlauncher.moc"
