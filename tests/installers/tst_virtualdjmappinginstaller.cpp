#include "installers/installererror.h"
#include "installers/installerlocations.h"
#include "installers/virtualdjmappinginstaller.h"
#include "installertesting.h"
#include "support/fakeclock.h"
#include "support/testfixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using namespace InstallerTesting;

namespace {

// 2026-03-14 18:15:02.5 in the test's time zone (TZ=EET-2, two hours east of UTC).
constexpr qint64 kNow = 1'773'504'902'500;
const QByteArray kDefinition = "<device name=\"included\"/>\n"_ba;
const QByteArray kMapper = "<mapper device=\"included\"/>\n"_ba;
const QString kDefinitionPath = u"Devices/Tarvik DJ Connector.xml"_s;
const QString kMapperPath = u"Mappers/Tarvik DJ Connector.xml"_s;

} // namespace

class VirtualDJMappingInstallerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void relativePaths_definitionFirstThenMapper();
    void install_freshSystemWritesBothFilesIntoBothRoots();
    void install_currentMappingWritesNothing();
    void install_onlyTheDifferingFileIsBackedUp();
    void install_secondBackupOfSameFileInSameSecondGetsUuidSuffix();
    void isInstalled_falseWhenOnlyOneRootIsComplete();
    void isInstalled_falseWhenAnInstalledFileDiffers();
    void install_missingIncludedFileThrowsBeforeTouchingDisk_data();
    void install_missingIncludedFileThrowsBeforeTouchingDisk();
    void install_unreportedFolderSkipsItsRoot();
    void install_withoutAnyRootThrows();
    void install_failurePartWayKeepsEarlierFilesAndBackups();

private:
    QString home() const { return m_fixture->path(u"home"_s); }

    std::optional<TestFixture> m_fixture;
    InstallerLocations m_locations;
    FakeClock m_clock{kNow};
};

void VirtualDJMappingInstallerTest::init()
{
    m_fixture.emplace();
    m_fixture->writeFile(u"resources/VirtualDJ/"_s + kDefinitionPath, kDefinition);
    m_fixture->writeFile(u"resources/VirtualDJ/"_s + kMapperPath, kMapper);
    // Both user folders live under one parent so a snapshot sees every write.
    QVERIFY(QDir().mkpath(m_fixture->path(u"home/Documents"_s)));
    QVERIFY(QDir().mkpath(m_fixture->path(u"home/Application Support"_s)));
    m_locations = {m_fixture->path(u"resources"_s), home(), m_fixture->path(u"home/Documents"_s),
                   m_fixture->path(u"home/Application Support"_s)};
    m_clock.set(kNow);
}

void VirtualDJMappingInstallerTest::cleanup()
{
    m_fixture.reset();
}

void VirtualDJMappingInstallerTest::relativePaths_definitionFirstThenMapper()
{
    QCOMPARE(VirtualDJMappingInstaller::relativePaths(), (QStringList{kDefinitionPath, kMapperPath}));
    QCOMPARE(VirtualDJMappingInstaller::roots(m_locations),
             (QStringList{home() + u"/Documents/VirtualDJ"_s, home() + u"/Application Support/VirtualDJ"_s}));
}

void VirtualDJMappingInstallerTest::install_freshSystemWritesBothFilesIntoBothRoots()
{
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));

    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), false);

    const QMap<QString, QDateTime> files = snapshot(home());
    QCOMPARE(files.keys(), (QStringList{u"Application Support/VirtualDJ/"_s + kDefinitionPath,
                                        u"Application Support/VirtualDJ/"_s + kMapperPath,
                                        u"Documents/VirtualDJ/"_s + kDefinitionPath,
                                        u"Documents/VirtualDJ/"_s + kMapperPath}));
    for (const QString &root : VirtualDJMappingInstaller::roots(m_locations)) {
        QCOMPARE(contents(root + u'/' + kDefinitionPath), kDefinition);
        QCOMPARE(contents(root + u'/' + kMapperPath), kMapper);
    }
    QVERIFY(VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_currentMappingWritesNothing()
{
    VirtualDJMappingInstaller::install(m_locations, m_clock);
    ageTree(home());
    const auto before = snapshot(home());

    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), false);

    QCOMPARE(snapshot(home()), before);
    QVERIFY(VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_onlyTheDifferingFileIsBackedUp()
{
    VirtualDJMappingInstaller::install(m_locations, m_clock);
    const QString mapper = m_locations.applicationSupportFolder + u"/VirtualDJ/"_s + kMapperPath;
    m_fixture->writeFile(u"home/Application Support/VirtualDJ/"_s + kMapperPath, "the DJ's own mapper"_ba);
    ageTree(home());
    auto expected = snapshot(home());
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));

    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), true);

    const QString backupName = u"Tarvik DJ Connector.backup-20260314-181502.bak"_s;
    const QString mappersFolder = QFileInfo(mapper).path();
    QCOMPARE(contents(mappersFolder + u'/' + backupName), "the DJ's own mapper"_ba);
    QCOMPARE(contents(mapper), kMapper);
    // Every other file keeps its old modification time; only the mapper and its backup are new.
    auto after = snapshot(home());
    const QString mapperKey = u"Application Support/VirtualDJ/"_s + kMapperPath;
    QVERIFY(after.take(u"Application Support/VirtualDJ/Mappers/"_s + backupName).isValid());
    QVERIFY(after.take(mapperKey) != expected.take(mapperKey));
    QCOMPARE(after, expected);
    QVERIFY(VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_secondBackupOfSameFileInSameSecondGetsUuidSuffix()
{
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kDefinitionPath, "first"_ba);
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kMapperPath, "first"_ba);
    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), true);
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kDefinitionPath, "second"_ba);
    m_clock.advance(400);

    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), true);

    // The definition's and the mapper's first backups share a name but not a folder.
    const QString devices = m_locations.documentsFolder + u"/VirtualDJ/Devices"_s;
    const QString mappers = m_locations.documentsFolder + u"/VirtualDJ/Mappers"_s;
    QCOMPARE(entriesIn(mappers), (QStringList{u"Tarvik DJ Connector.backup-20260314-181502.bak"_s,
                                              u"Tarvik DJ Connector.xml"_s}));
    QStringList backups = entriesIn(devices).filter(u".bak"_s);
    const QString firstBackup = u"Tarvik DJ Connector.backup-20260314-181502.bak"_s;
    QCOMPARE(backups.size(), 2);
    QVERIFY(backups.removeOne(firstBackup));
    const QRegularExpression pattern(u"^Tarvik DJ Connector\\.backup-20260314-181502-[0-9A-F]{8}\\.bak$"_s);
    QVERIFY2(pattern.match(backups.first()).hasMatch(), qPrintable(backups.first()));
    QCOMPARE(contents(devices + u'/' + firstBackup), "first"_ba);
    QCOMPARE(contents(devices + u'/' + backups.first()), "second"_ba);
    QCOMPARE(contents(devices + u"/Tarvik DJ Connector.xml"_s), kDefinition);
}

void VirtualDJMappingInstallerTest::isInstalled_falseWhenOnlyOneRootIsComplete()
{
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kDefinitionPath, kDefinition);
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kMapperPath, kMapper);

    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));

    m_fixture->writeFile(u"home/Application Support/VirtualDJ/"_s + kDefinitionPath, kDefinition);
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));
    m_fixture->writeFile(u"home/Application Support/VirtualDJ/"_s + kMapperPath, kMapper);
    QVERIFY(VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::isInstalled_falseWhenAnInstalledFileDiffers()
{
    VirtualDJMappingInstaller::install(m_locations, m_clock);
    // Same length, one byte changed: a size comparison alone would miss it.
    QByteArray changed = kDefinition;
    changed[1] = 'D';
    m_fixture->writeFile(u"home/Application Support/VirtualDJ/"_s + kDefinitionPath, changed);

    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_missingIncludedFileThrowsBeforeTouchingDisk_data()
{
    QTest::addColumn<QString>("removed");
    QTest::newRow("definition absent") << kDefinitionPath;
    QTest::newRow("mapper absent") << kMapperPath;
    QTest::newRow("no resources folder") << QString();
}

void VirtualDJMappingInstallerTest::install_missingIncludedFileThrowsBeforeTouchingDisk()
{
    QFETCH(QString, removed);
    if (removed.isEmpty())
        m_locations.resourcesFolder.clear();
    else
        QVERIFY(QFile::remove(m_fixture->path(u"resources/VirtualDJ/"_s + removed)));

    const auto error = errorThrownBy([this] { VirtualDJMappingInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::missingBundledMapping);
    QCOMPARE(error->description(),
             u"The included VirtualDJ mapping files are missing. Reinstall DJ Connector and try again."_s);
    QVERIFY(!QFileInfo::exists(m_fixture->path(u"home/Documents/VirtualDJ"_s)));
    QVERIFY(!QFileInfo::exists(m_fixture->path(u"home/Application Support/VirtualDJ"_s)));
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_unreportedFolderSkipsItsRoot()
{
    m_locations.documentsFolder.clear();

    QCOMPARE(VirtualDJMappingInstaller::install(m_locations, m_clock), false);

    QCOMPARE(VirtualDJMappingInstaller::roots(m_locations),
             QStringList{home() + u"/Application Support/VirtualDJ"_s});
    QCOMPARE(snapshot(home()).size(), 2);
    QVERIFY(VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_withoutAnyRootThrows()
{
    m_locations.documentsFolder.clear();
    m_locations.applicationSupportFolder.clear();

    const auto error = errorThrownBy([this] { VirtualDJMappingInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::noDestinationFolder);
    QVERIFY(!error->description().isEmpty());
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));
}

void VirtualDJMappingInstallerTest::install_failurePartWayKeepsEarlierFilesAndBackups()
{
    m_fixture->writeFile(u"home/Documents/VirtualDJ/"_s + kMapperPath, "the DJ's own mapper"_ba);
    // A file where the second root's folder belongs makes that root fail after the first is done.
    m_fixture->writeFile(u"home/Application Support/VirtualDJ"_s, "in the way"_ba);

    const auto error = errorThrownBy([this] { VirtualDJMappingInstaller::install(m_locations, m_clock); });

    QVERIFY(error);
    QCOMPARE(error->kind(), InstallerError::Kind::fileSystem);
    const QString documents = m_locations.documentsFolder + u"/VirtualDJ/"_s;
    QCOMPARE(contents(documents + kDefinitionPath), kDefinition);
    QCOMPARE(contents(documents + kMapperPath), kMapper);
    QCOMPARE(contents(documents + u"Mappers/Tarvik DJ Connector.backup-20260314-181502.bak"_s),
             "the DJ's own mapper"_ba);
    QCOMPARE(contents(m_locations.applicationSupportFolder + u"/VirtualDJ"_s), "in the way"_ba);
    QVERIFY(!VirtualDJMappingInstaller::isInstalled(m_locations));
}

QTEST_GUILESS_MAIN(VirtualDJMappingInstallerTest)
#include "tst_virtualdjmappinginstaller.moc"
