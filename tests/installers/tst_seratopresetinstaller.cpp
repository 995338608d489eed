#include "installers/installererror.h"
#include "installers/installerlocations.h"
#include "installers/seratopresetinstaller.h"
#include "installertesting.h"
#include "support/fakeclock.h"
#include "support/testfixture.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using namespace InstallerTesting;

namespace {

// 2026-03-14 18:15:02.5 in the test's time zone (TZ=EET-2, two hours east of UTC).
constexpr qint64 kNow = 1'773'504'902'500;
const QByteArray kIncluded = "<midi app=\" 2.6.0.1235\">included</midi>\n"_ba;

} // namespace

class SeratoPresetInstallerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void install_firstInstallCreatesFolderChainWithoutBackup();
    void install_identicalPresetWritesNothing();
    void install_differingPresetIsBackedUpAndReplaced();
    void install_secondBackupInSameSecondGetsUuidSuffix();
    void install_missingIncludedPresetThrowsBeforeTouchingDisk_data();
    void install_missingIncludedPresetThrowsBeforeTouchingDisk();
    void install_unreadableIncludedPresetThrowsItsReadError();
    void install_unreadableDestinationIsNotInstalledAndKept_data();
    void install_unreadableDestinationIsNotInstalledAndKept();
    void install_folderThatCannotBeCreatedThrows();
    void install_withoutHomeFolderThrows();

private:
    QString folder() const { return m_fixture->path(u"home/Music/_Serato_/MIDI/Xml"_s); }
    QString destination() const { return folder() + u"/Tarvik Remote.xml"_s; }

    std::optional<TestFixture> m_fixture;
    InstallerLocations m_locations;
    FakeClock m_clock{kNow};
};

void SeratoPresetInstallerTest::init()
{
    m_fixture.emplace();
    m_fixture->writeFile(u"resources/Serato/Tarvik Remote.xml"_s, kIncluded);
    QVERIFY(QDir().mkpath(m_fixture->path(u"home"_s)));
    m_locations = {m_fixture->path(u"resources"_s), m_fixture->path(u"home"_s), {}, {}};
    m_clock.set(kNow);
}

void SeratoPresetInstallerTest::cleanup()
{
    QLocale::setDefault(QLocale::c());
    m_fixture.reset();
}

void SeratoPresetInstallerTest::install_firstInstallCreatesFolderChainWithoutBackup()
{
    QVERIFY(!SeratoPresetInstaller::isInstalled(m_locations));
    QCOMPARE(SeratoPresetInstaller::destinationPath(m_locations), destination());

    QCOMPARE(SeratoPresetInstaller::install(m_locations, m_clock), std::nullopt);

    QCOMPARE(entriesIn(folder()), QStringList{u"Tarvik Remote.xml"_s});
    QCOMPARE(contents(destination()), kIncluded);
    QVERIFY(SeratoPresetInstaller::isInstalled(m_locations));
}

void SeratoPresetInstallerTest::install_identicalPresetWritesNothing()
{
    SeratoPresetInstaller::install(m_locations, m_clock);
    ageTree(m_fixture->path(u"home"_s));
    const auto before = snapshot(m_fixture->path(u"home"_s));

    QCOMPARE(SeratoPresetInstaller::install(m_locations, m_clock), std::nullopt);

    QCOMPARE(snapshot(m_fixture->path(u"home"_s)), before);
    QVERIFY(SeratoPresetInstaller::isInstalled(m_locations));
}

void SeratoPresetInstallerTest::install_differingPresetIsBackedUpAndReplaced()
{
    // The name must not follow the user's locale: Arabic would write Eastern Arabic digits.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    m_fixture->writeFile(u"home/Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s, "the DJ's own edits"_ba);
    QVERIFY(!SeratoPresetInstaller::isInstalled(m_locations));

    const std::optional<QString> backup = SeratoPresetInstaller::install(m_locations, m_clock);

    const QString expected = folder() + u"/Tarvik Remote.backup-20260314-181502.xml"_s;
    QCOMPARE(backup, expected);
    QCOMPARE(contents(expected), "the DJ's own edits"_ba);
    QCOMPARE(contents(destination()), kIncluded);
    QCOMPARE(entriesIn(folder()).size(), 2);
    QVERIFY(SeratoPresetInstaller::isInstalled(m_locations));
}

void SeratoPresetInstallerTest::install_secondBackupInSameSecondGetsUuidSuffix()
{
    m_fixture->writeFile(u"home/Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s, "first edit"_ba);
    const std::optional<QString> first = SeratoPresetInstaller::install(m_locations, m_clock);
    m_fixture->writeFile(u"home/Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s, "second edit"_ba);
    m_clock.advance(400);

    const std::optional<QString> second = SeratoPresetInstaller::install(m_locations, m_clock);

    QVERIFY(first && second);
    QCOMPARE(QFileInfo(*first).fileName(), u"Tarvik Remote.backup-20260314-181502.xml"_s);
    const QRegularExpression pattern(u"^Tarvik Remote\\.backup-20260314-181502-[0-9A-F]{8}\\.xml$"_s);
    QVERIFY2(pattern.match(QFileInfo(*second).fileName()).hasMatch(), qPrintable(*second));
    QCOMPARE(QFileInfo(*second).path(), folder());
    QCOMPARE(contents(*first), "first edit"_ba);
    QCOMPARE(contents(*second), "second edit"_ba);
    QCOMPARE(contents(destination()), kIncluded);
}

void SeratoPresetInstallerTest::install_missingIncludedPresetThrowsBeforeTouchingDisk_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("no resources folder") << 0;
    QTest::newRow("preset file absent") << 1;
    QTest::newRow("preset path is a folder") << 2;
}

void SeratoPresetInstallerTest::install_missingIncludedPresetThrowsBeforeTouchingDisk()
{
    QFETCH(int, damage);
    const QString preset = m_fixture->path(u"resources/Serato/Tarvik Remote.xml"_s);
    QVERIFY(QFile::remove(preset));
    if (damage == 0)
        m_locations.resourcesFolder.clear();
    if (damage == 2)
        QVERIFY(QDir().mkpath(preset));

    const auto error = errorThrownBy([this] { SeratoPresetInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::missingBundledPreset);
    QCOMPARE(error->description(),
             u"The included Tarvik Remote preset is missing. Reinstall the app and try again."_s);
    QCOMPARE(QString::fromUtf8(error->what()), error->description());
    QVERIFY(!QFileInfo::exists(m_fixture->path(u"home/Music"_s)));
    QVERIFY(!SeratoPresetInstaller::isInstalled(m_locations));
}

void SeratoPresetInstallerTest::install_unreadableIncludedPresetThrowsItsReadError()
{
    if (!permissionsStopReads(m_fixture->path()))
        QSKIP("file permissions do not stop reads for this user (root)");
    const QString preset = m_fixture->path(u"resources/Serato/Tarvik Remote.xml"_s);
    QVERIFY(QFile::setPermissions(preset, QFileDevice::Permissions()));

    const auto error = errorThrownBy([this] { SeratoPresetInstaller::install(m_locations, m_clock); });

    QVERIFY(QFile::setPermissions(preset, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::fileSystem);
    QVERIFY2(error->description().contains(preset), qPrintable(error->description()));
    QVERIFY(!QFileInfo::exists(m_fixture->path(u"home/Music"_s)));
}

void SeratoPresetInstallerTest::install_unreadableDestinationIsNotInstalledAndKept_data()
{
    QTest::addColumn<bool>("folderInTheWay");
    QTest::newRow("folder at the preset's path") << true;
    QTest::newRow("file without read permission") << false;
}

// An entry that cannot be read cannot be backed up either, so it must be left exactly as it was.
void SeratoPresetInstallerTest::install_unreadableDestinationIsNotInstalledAndKept()
{
    QFETCH(bool, folderInTheWay);
    if (folderInTheWay) {
        m_fixture->writeFile(u"home/Music/_Serato_/MIDI/Xml/Tarvik Remote.xml/keep.txt"_s, "kept"_ba);
    } else {
        if (!permissionsStopReads(m_fixture->path()))
            QSKIP("file permissions do not stop reads for this user (root)");
        m_fixture->writeFile(u"home/Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s, "kept"_ba);
        QVERIFY(QFile::setPermissions(destination(), QFileDevice::Permissions()));
    }

    QVERIFY(!SeratoPresetInstaller::isInstalled(m_locations));
    const auto error = errorThrownBy([this] { SeratoPresetInstaller::install(m_locations, m_clock); });

    if (!folderInTheWay)
        QVERIFY(QFile::setPermissions(destination(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::fileSystem);
    QVERIFY2(error->description().contains(destination()), qPrintable(error->description()));
    QCOMPARE(entriesIn(folder()), QStringList{u"Tarvik Remote.xml"_s});
    const QString kept = folderInTheWay ? destination() + u"/keep.txt"_s : destination();
    QCOMPARE(contents(kept), "kept"_ba);
}

void SeratoPresetInstallerTest::install_folderThatCannotBeCreatedThrows()
{
    m_fixture->writeFile(u"home/Music/_Serato_"_s, "a file where a folder belongs"_ba);

    const auto error = errorThrownBy([this] { SeratoPresetInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::fileSystem);
    QVERIFY2(error->description().contains(folder()), qPrintable(error->description()));
    QCOMPARE(contents(m_fixture->path(u"home/Music/_Serato_"_s)), "a file where a folder belongs"_ba);
}

void SeratoPresetInstallerTest::install_withoutHomeFolderThrows()
{
    m_locations.homeFolder.clear();

    const auto error = errorThrownBy([this] { SeratoPresetInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::noDestinationFolder);
    QVERIFY(!SeratoPresetInstaller::isInstalled(m_locations));
    QVERIFY(!QFileInfo::exists(u"Music/_Serato_"_s));
}

QTEST_GUILESS_MAIN(SeratoPresetInstallerTest)
#include "tst_seratopresetinstaller.moc"
