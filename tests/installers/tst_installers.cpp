#include "core/deckside.h"
#include "core/remotecommand.h"
#include "installers/installererror.h"
#include "installers/installerlocations.h"
#include "installers/seratopresetinstaller.h"
#include "installers/virtualdjmappinginstaller.h"
#include "midi/notemap.h"
#include "support/fakeclock.h"
#include "support/testfixture.h"

#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

using Files = QMap<QString, QByteArray>;
using Element = QHash<QString, QString>;

namespace {

// 2026-03-14 18:15:02.5 in the test's time zone (TZ=EET-2, two hours east of UTC).
constexpr qint64 kNow = 1'773'504'902'500;
const QDateTime kLongAgo(QDate(2001, 2, 3), QTime(4, 5, 6));
const QString kIncludedPreset = u"Serato/Tarvik Remote.xml"_s;
const QString kPreset = u"Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s;
const QString kDefinition = u"VirtualDJ/Devices/Tarvik DJ Connector.xml"_s;
const QString kMapper = u"VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s;

// Every file under the folder by relative path, with its contents; `age` also sets each one's
// modification time to kLongAgo, so that a later write shows even within the same second.
Files tree(const QString &root, bool age = false)
{
    Files files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadWrite)
            || (age && !file.setFileTime(kLongAgo, QFileDevice::FileModificationTime)))
            qFatal("could not read %s", qPrintable(file.fileName()));
        files.insert(QDir(root).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

// The start elements of a shipped file in document order, each as its attributes and, under "", its name.
QList<Element> shippedElements(const QString &relative)
{
    QFile file(qEnvironmentVariable("CONNECTOR_SOURCE_DIR") + u"/resources/"_s + relative);
    QXmlStreamReader reader(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    QList<Element> elements;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        elements.append({{QString(), reader.name().toString()}});
        for (const QXmlStreamAttribute &attribute : reader.attributes())
            elements.last().insert(attribute.name().toString(), attribute.value().toString());
    }
    // A file that is not well-formed XML binds nothing.
    return reader.hasError() ? QList<Element>() : elements;
}

} // namespace

// Both installers over one temporary home (each included file holds its own name), and the files
// they ship.
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

    void install_writesOnceThenNothing()
    {
        const Files installed[] = {{{kPreset, kIncludedPreset.toUtf8()}},
                                   {{u"Documents/"_s + kDefinition, kDefinition.toUtf8()},
                                    {u"Documents/"_s + kMapper, kMapper.toUtf8()},
                                    {u"Support/"_s + kDefinition, kDefinition.toUtf8()},
                                    {u"Support/"_s + kMapper, kMapper.toUtf8()}}};
        for (const DJPlatform platform : kAllDJPlatforms) {
            const Files &files = installed[int(platform)];
            QVERIFY(!isInstalled(platform));
            QCOMPARE(std::get<bool>(install(platform)), false);
            QCOMPARE(tree(m_home, true), files);
            QVERIFY(isInstalled(platform));
            // A second install leaves the files untouched.
            QCOMPARE(std::get<bool>(install(platform)), false);
            for (const QString &file : files.keys())
                QCOMPARE(QFileInfo(m_home + u'/' + file).lastModified(), kLongAgo);
            QVERIFY(QDir(m_home).removeRecursively() && QDir().mkpath(m_home));
        }
    }

    void install_backsUpDifferingPresetAndReplacesIt()
    {
        // The backup names must not follow the user's locale: Arabic would write Eastern Arabic digits.
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        QStringList backups;
        for (const QByteArray &edit : {"first edit"_ba, "second edit"_ba}) {
            m_fixture->writeFile(u"home/"_s + kPreset, edit);
            QVERIFY(!isInstalled(DJPlatform::serato));
            backups.append(QDir(m_home).relativeFilePath(
                SeratoPresetInstaller::install(m_locations, m_clock).value_or(m_home)));
            m_clock.advance(400);
        }
        QLocale::setDefault(QLocale::c());
        QCOMPARE(backups.first(), u"Music/_Serato_/MIDI/Xml/Tarvik Remote.backup-20260314-181502.xml"_s);
        QVERIFY2(QRegularExpression(
                     u"^Music/_Serato_/MIDI/Xml/Tarvik Remote\\.backup-20260314-181502-[0-9A-F]{8}\\.xml$"_s)
                     .match(backups.last())
                     .hasMatch(),
                 qPrintable(backups.last()));
        QCOMPARE(tree(m_home), (Files{{kPreset, kIncludedPreset.toUtf8()},
                                      {backups.first(), "first edit"_ba},
                                      {backups.last(), "second edit"_ba}}));
    }

    void install_refusesAndLeavesTheHomeAlone()
    {
        // An included file taken away (the mapper is read second: nothing may be written before both are
        // read), or a preset path that is a folder, which cannot be backed up; the home stays as it was.
        const std::tuple<DJPlatform, QString, Files, QString> cases[] = {
            {DJPlatform::serato,
             kIncludedPreset,
             {},
             u"The included Tarvik Remote preset is missing. Reinstall the app and try again."_s},
            {DJPlatform::virtualDJ,
             kMapper,
             {},
             u"The included VirtualDJ mapping files are missing. Reinstall DJ Connector and try again."_s},
            {DJPlatform::serato,
             {},
             {{kPreset + u"/keep.txt"_s, "kept"_ba}},
             u"Could not back up \"%1/"_s + kPreset + u"\" to "_s}};
        for (const auto &[platform, removed, home, description] : cases) {
            init();
            if (!removed.isEmpty())
                QVERIFY(QFile::remove(m_fixture->path(u"resources/"_s + removed)));
            for (auto file = home.cbegin(); file != home.cend(); ++file)
                m_fixture->writeFile(u"home/"_s + file.key(), file.value());
            const auto error = std::get<InstallerError>(install(platform));
            QVERIFY2(error.description().startsWith(description.arg(m_home)),
                     qPrintable(error.description()));
            QVERIFY(!isInstalled(platform));
            QCOMPARE(tree(m_home), home);
        }
    }

    void install_failurePartWayKeepsEarlierFilesAndBackups()
    {
        m_fixture->writeFile(u"home/Documents/"_s + kMapper, "the DJ's own mapper"_ba);
        // A file where the second root's folder belongs makes that root fail after the first is done.
        m_fixture->writeFile(u"home/Support/VirtualDJ"_s, "in the way"_ba);
        QCOMPARE(std::get<InstallerError>(install(DJPlatform::virtualDJ)).kind(),
                 InstallerError::Kind::fileSystem);
        QCOMPARE(tree(m_home),
                 (Files{{u"Documents/"_s + kDefinition, kDefinition.toUtf8()},
                        {u"Documents/"_s + kMapper, kMapper.toUtf8()},
                        {u"Documents/VirtualDJ/Mappers/Tarvik DJ Connector.backup-20260314-181502.bak"_s,
                         "the DJ's own mapper"_ba},
                        {u"Support/VirtualDJ"_s, "in the way"_ba}}));
        // One complete root is not enough.
        QVERIFY(!isInstalled(DJPlatform::virtualDJ));
    }

    // Guards against the note map and the shipped mapping files drifting apart.
    void shippedFiles_bindEveryNoteOfTheNoteMapOnce()
    {
        // Serato's control (the play control toggles, so pause shares it) and VirtualDJ's action on deck %1.
        const QString next = u"deck %1 pause & deck %1 playlist_load_and_remove & deck %1 play"_s;
        const QHash<RemoteCommand, QStringList> actions{
            {RemoteCommand::play, {u"play"_s, u"deck %1 play"_s}},
            {RemoteCommand::pause, {u"play"_s, u"deck %1 pause"_s}},
            {RemoteCommand::advance, {u"next_track"_s, next}},
            {RemoteCommand::playNext, {u"next_track"_s, next}},
            {RemoteCommand::stop, {u"cue"_s, u"deck %1 stop"_s}},
            {RemoteCommand::load, {u"load_track"_s, u"deck %1 load"_s}}};
        // "Serato|channel|number|function|deck" and "VirtualDJ|channel|kind|number|deck|action"; the play
        // state goes back on each deck's play note ("Serato output|...", a VirtualDJ "led").
        const QString serato = u"Serato|%1|"_s.arg(NoteMap::kChannel + 1);
        const QString virtualDJ = u"VirtualDJ|%1|"_s.arg(NoteMap::kChannel);
        QStringList expected{virtualDJ
                             + u"button|%1||refresh_controller"_s.arg(NoteMap::kVirtualDJRefreshNote)};
        for (DeckSide deck : kAllDeckSides) {
            const QString s = deck == DeckSide::left ? u"0"_s : u"1"_s,
                          v = deck == DeckSide::left ? u"1"_s : u"2"_s;
            const auto note = [deck](DJPlatform platform, RemoteCommand command = RemoteCommand::play) {
                return NoteMap::note(platform, command, deck);
            };
            for (RemoteCommand command : kAllRemoteCommands) {
                expected
                    << serato
                           + u"%1|%2|%3"_s.arg(note(DJPlatform::serato, command)).arg(actions[command][0], s)
                    << virtualDJ
                           + u"button|%1|%2|%3"_s.arg(note(DJPlatform::virtualDJ, command))
                                 .arg(v, actions[command][1].arg(v));
            }
            expected << virtualDJ
                            + u"slider|%1|%2|deck %2 volume"_s.arg(NoteMap::volumeController(deck)).arg(v)
                     << u"Serato output|%1|%2|play|%3"_s.arg(NoteMap::kChannel + 1)
                            .arg(note(DJPlatform::serato))
                            .arg(s)
                     << virtualDJ + u"led|%1|%2|deck %2 play"_s.arg(note(DJPlatform::virtualDJ)).arg(v);
        }
        expected.removeDuplicates();

        QStringList shipped;
        const QList<Element> preset = shippedElements(kIncludedPreset);
        Element control;
        for (qsizetype index = 0; index + 1 < preset.size(); ++index) {
            if (preset.at(index)[QString()] == u"control"_s)
                control = preset.at(index);
            // The userio's child names the function; an output sends on the control's own note.
            const Element &userio = preset.at(index), &function = preset.at(index + 1);
            if (userio[QString()] == u"userio"_s && control[u"event_type"_s] == u"Note On"_s)
                shipped.append(u"%1|%2|%3|%4|%5"_s.arg(userio[u"event"_s] == u"output"_s ? u"Serato output"_s
                                                                                         : u"Serato"_s,
                                                       control[u"channel"_s], control[u"control"_s],
                                                       function[QString()], function[u"deck_id"_s]));
        }
        const QList<Element> definition = shippedElements(kDefinition), mapper = shippedElements(kMapper);
        // VirtualDJ picks the definition by the MIDI source's name, and the mapper by the definition's.
        QCOMPARE(definition.value(0)[u"drivername"_s], midiDeviceName(DJPlatform::virtualDJ));
        QCOMPARE(definition.value(0)[u"drivernameout"_s], midiDeviceName(DJPlatform::virtualDJ));
        QCOMPARE(mapper.value(0)[u"device"_s], definition.value(0)[u"name"_s]);
        QHash<QString, QString> mapped;
        for (const Element &map : mapper)
            mapped.insert(map[u"value"_s], map[u"action"_s]);
        for (const Element &control : definition.mid(1)) {
            const int number = (control[u"note"_s] + control[u"cc"_s]).toInt(nullptr, 0);
            shipped.append(u"VirtualDJ|%1|%2|%3|%4|%5"_s.arg(control[u"channel"_s], control[QString()],
                                                             QString::number(number), control[u"deck"_s],
                                                             mapped[control[u"name"_s]]));
        }
        expected.sort();
        shipped.sort();
        QCOMPARE(shipped, expected);
    }

private:
    // Whether the installer made a backup, or the error it threw.
    std::variant<bool, InstallerError> install(DJPlatform platform)
    {
        try {
            if (platform == DJPlatform::serato)
                return SeratoPresetInstaller::install(m_locations, m_clock).has_value();
            return VirtualDJMappingInstaller::install(m_locations, m_clock);
        } catch (const InstallerError &error) {
            return error;
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
