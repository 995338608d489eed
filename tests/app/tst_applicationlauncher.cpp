#include "app/applicationlauncher.h"
#include "support/testfixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class ApplicationLauncherTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void locate_findsDesktopEntriesByIdentifierInFolderOrder();
    void open_runsTheEntrysCommandDetached();
    void open_reportsWhatCannotBeOpened();
};

namespace {

std::optional<QString> openAndWait(ApplicationLauncher &launcher, const QString &location)
{
    std::optional<std::optional<QString>> outcome;
    launcher.open(location, [&](std::optional<QString> error) { outcome = error; });
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
        return u"no completion"_s;
    return *outcome;
}

} // namespace

void ApplicationLauncherTest::locate_findsDesktopEntriesByIdentifierInFolderOrder()
{
    TestFixture fixture;
    fixture.writeFile(u"local/com.atomixproductions.virtualdjhome.desktop"_s, "[Desktop Entry]\nExec=true\n");
    fixture.writeFile(u"system/com.atomixproductions.virtualdjhome.desktop"_s,
                      "[Desktop Entry]\nExec=true\n");
    SystemApplicationLauncher launcher({fixture.path(u"local"_s), fixture.path(u"system"_s)});
    QCOMPARE(launcher.locate(u"com.atomixproductions.virtualdjhome"_s),
             fixture.path(u"local/com.atomixproductions.virtualdjhome.desktop"_s));
    QVERIFY(!launcher.locate(u"com.atomixproductions.virtualdj"_s));
    QVERIFY(launcher.exists(fixture.path(u"local"_s)));
    QVERIFY(!launcher.exists(fixture.path(u"Serato DJ Pro.app"_s)));
}

void ApplicationLauncherTest::open_runsTheEntrysCommandDetached()
{
    TestFixture fixture;
    const QString marker = fixture.path(u"opened"_s);
    // Field codes are dropped and quoting is honoured.
    const QString entry = fixture.writeFile(
        u"apps/com.serato.seratodj.desktop"_s,
        "[Desktop Action other]\nExec=false\n[Desktop Entry]\nName=Serato\nExec=sh -c \"echo started > '"
            + marker.toUtf8() + "'\" %U\n");
    SystemApplicationLauncher launcher({fixture.path(u"apps"_s)});
    QCOMPARE(openAndWait(launcher, entry), std::nullopt);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
}

void ApplicationLauncherTest::open_reportsWhatCannotBeOpened()
{
    TestFixture fixture;
    const QString withoutCommand =
        fixture.writeFile(u"apps/broken.desktop"_s, "[Desktop Entry]\nName=Broken\n");
    SystemApplicationLauncher launcher({fixture.path(u"apps"_s)});
    QVERIFY(openAndWait(launcher, withoutCommand).has_value());
    const std::optional<QString> missing = openAndWait(launcher, fixture.path(u"Serato DJ Pro.app"_s));
    QVERIFY(missing.has_value());
    QVERIFY(!missing->isEmpty());
}

QTEST_GUILESS_MAIN(ApplicationLauncherTest)
#include "tst_applicationlauncher.moc"
