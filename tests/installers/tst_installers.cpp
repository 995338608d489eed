#include "core/djplatform.h"
#include "installers/installererror.h"
#include "installers/installerlocations.h"
#include "installers/seratopresetinstaller.h"
#include "installers/virtualdjmappinginstaller.h"
#include "support/fakeclock.h"
#include "support/testfixture.h"

#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

using Files = QMap<QString, QByteArray>;

namespace {

// 2026-03-14 18:15:02.5 in the test's time zone (TZ=EET-2, two hours east of UTC).
constexpr qint64 kNow = 1'773'504'902'500;
const QDateTime kLongAgo(QDate(2001, 2, 3), QTime(4, 5, 6));
const QString kIncludedPreset = u"Serato/Tarvik Remote.xml"_s;
const QString kPreset = u"Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s;
const QString kDefinition = u"VirtualDJ/Devices/Tarvik DJ Connector.xml"_s;
const QString kMapper = u"VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s;

// Every file under the folder by relative path, with its contents. Each one's modification time is set to
// kLongAgo, so that a later write shows even within the same second.
Files tree(const QString &root)
{
    Files files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadWrite)
            || !file.setFileTime(kLongAgo, QFileDevice::FileModificationTime))
            qFatal("could not read %s", qPrintable(file.fileName()));
        // A backup made within the same second as another has a random suffix.
        static const QRegularExpression suffix(u"-[0-9A-F]{8}\\."_s);
        files.insert(QDir(root).relativeFilePath(file.fileName()).replace(suffix, u"-XXXXXXXX."_s),
                     file.readAll());
    }
    return files;
}

} // namespace

// Both installers over one temporary home; each included file holds its own name.
class InstallersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_fixture.emplace();
        for (const QString &file : {kIncludedPreset, kDefinition, kMapper})
            m_fixture->writeFile(u"resources/"_s + file, file.toUtf8());
        m_home = m_fixture->path(u"home"_s);
        QVERIFY(QDir().mkpath(m_home));
        m_locations = {m_fixture->path(u"resources"_s), m_home, m_home + u"/Documents"_s,
                       m_home + u"/Support"_s};
        m_clock.set(kNow);
    }

    // What the home holds after an install over what it held before: the included files, with each file
    // that differed kept as a backup named by the local time (never over an earlier one); or, when the
    // install is refused, everything as it was except what a completed root wrote.
    void install_leavesTheHomeAsExpected_data()
    {
        QTest::addColumn<DJPlatform>("platform");
        QTest::addColumn<QString>("removed"); // an included file taken away
        QTest::addColumn<Files>("before");
        QTest::addColumn<Files>("after");
        QTest::addColumn<QString>("outcome"); // "a backup", "no backup", or how the refusal starts
        const QString backup = u"Music/_Serato_/MIDI/Xml/Tarvik Remote.backup-20260314-181502"_s;
        const QByteArray preset = kIncludedPreset.toUtf8(), definition = kDefinition.toUtf8(),
                         mapper = kMapper.toUtf8();
        QTest::newRow("Serato") << DJPlatform::serato << QString() << Files() << Files{{kPreset, preset}}
                                << u"no backup"_s;
        QTest::newRow("Serato over an edit, backed up this second")
            << DJPlatform::serato << QString() << Files{{kPreset, "edit"}, {backup + u".xml"_s, "earlier"}}
            << Files{{kPreset, preset},
                     {backup + u".xml"_s, "earlier"},
                     {backup + u"-XXXXXXXX.xml"_s, "edit"}}
            << u"a backup"_s;
        QTest::newRow("VirtualDJ") << DJPlatform::virtualDJ << QString() << Files()
                                   << Files{{u"Documents/"_s + kDefinition, definition},
                                            {u"Documents/"_s + kMapper, mapper},
                                            {u"Support/"_s + kDefinition, definition},
                                            {u"Support/"_s + kMapper, mapper}}
                                   << u"no backup"_s;
        // The mapper is read second: nothing may be written before both are read.
        QTest::newRow("no mapper included")
            << DJPlatform::virtualDJ << kMapper << Files() << Files()
            << u"The included VirtualDJ mapping files are missing. Reinstall DJ Connector and try again."_s;
        QTest::newRow("preset path is a folder")
            << DJPlatform::serato << QString() << Files{{kPreset + u"/keep.txt"_s, "kept"}}
            << Files{{kPreset + u"/keep.txt"_s, "kept"}}
            << u"Could not back up \"~/"_s + kPreset + u"\" to "_s;
        // A file where the second root's folder belongs makes that root fail after the first is done.
        QTest::newRow("second root fails")
            << DJPlatform::virtualDJ << QString()
            << Files{{u"Documents/"_s + kMapper, "own"}, {u"Support/VirtualDJ"_s, "in the way"}}
            << Files{{u"Documents/"_s + kDefinition, definition},
                     {u"Documents/"_s + kMapper, mapper},
                     {u"Documents/VirtualDJ/Mappers/Tarvik DJ Connector.backup-20260314-181502.bak"_s, "own"},
                     {u"Support/VirtualDJ"_s, "in the way"}}
            << u"Could not"_s;
    }

    void install_leavesTheHomeAsExpected()
    {
        QFETCH(DJPlatform, platform);
        QFETCH(QString, removed);
        QFETCH(Files, before);
        QFETCH(Files, after);
        QFETCH(QString, outcome);
        if (!removed.isEmpty())
            QVERIFY(QFile::remove(m_fixture->path(u"resources/"_s + removed)));
        for (auto file = before.cbegin(); file != before.cend(); ++file)
            m_fixture->writeFile(u"home/"_s + file.key(), file.value());
        QVERIFY(!isInstalled(platform));
        // Backup names must not follow the user's locale: Arabic would write Eastern Arabic digits.
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        const QString installed = install(platform);
        QLocale::setDefault(QLocale::c());
        QVERIFY2(installed.startsWith(outcome), qPrintable(installed));
        QCOMPARE(tree(m_home), after);
        // One complete root is not enough.
        const bool completes = outcome.endsWith(u" backup"_s);
        QCOMPARE(isInstalled(platform), completes);
        if (completes) {
            // A second install makes no backup and leaves the files untouched.
            QCOMPARE(install(platform), u"no backup"_s);
            for (QDirIterator it(m_home, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
                QCOMPARE(it.nextFileInfo().lastModified(), kLongAgo);
        }
    }

private:
    // Whether the installer made a backup, or the error it threw with the home written as "~".
    QString install(DJPlatform platform)
    {
        try {
            const bool backup = platform == DJPlatform::serato
                                    ? SeratoPresetInstaller::install(m_locations, m_clock).has_value()
                                    : VirtualDJMappingInstaller::install(m_locations, m_clock);
            return backup ? u"a backup"_s : u"no backup"_s;
        } catch (const InstallerError &error) {
            return error.description().replace(m_home, u"~"_s);
        }
    }
    bool isInstalled(DJPlatform platform) const
    {
        return platform == DJPlatform::serato ? SeratoPresetInstaller::isInstalled(m_locations)
                                              : VirtualDJMappingInstaller::isInstalled(m_locations);
    }

    std::optional<TestFixture> m_fixture;
    QString m_home;
    InstallerLocations m_locations;
    FakeClock m_clock{kNow};
};

QTEST_GUILESS_MAIN(InstallersTest)
#include "tst_installers.moc"
