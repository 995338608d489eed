#include "core/clock.h"
#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"
#include "installers/installerlocations.h"
#include "installers/seratopresetinstaller.h"
#include "installers/virtualdjmappinginstaller.h"
#include "midi/notemap.h"
#include "support/servicerequirement.h"
#include "support/testfixture.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kSeratoPreset = u"Serato/Tarvik Remote.xml"_s;
const QString kVirtualDJDefinition = u"VirtualDJ/Devices/Tarvik DJ Connector.xml"_s;
const QString kVirtualDJMapper = u"VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s;
const QString kLogo = u"TarvikLogo.png"_s;

QString sourceResource(const QString &relative)
{
    return qEnvironmentVariable("CONNECTOR_SOURCE_DIR") + u"/resources/"_s + relative;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The Serato function each command's note must reach: the play control toggles, so pause shares it.
QString seratoFunction(RemoteCommand command)
{
    switch (command) {
    case RemoteCommand::play:
    case RemoteCommand::pause:
        return u"play"_s;
    case RemoteCommand::advance:
    case RemoteCommand::playNext:
        return u"next_track"_s;
    case RemoteCommand::stop:
        return u"cue"_s;
    case RemoteCommand::load:
        return u"load_track"_s;
    }
    return {};
}

// The VirtualDJ verbs each command's control must run, in order, all on its own deck.
QStringList virtualDJVerbs(RemoteCommand command)
{
    switch (command) {
    case RemoteCommand::play:
        return {u"play"_s};
    case RemoteCommand::pause:
        return {u"pause"_s};
    case RemoteCommand::advance:
    case RemoteCommand::playNext:
        return {u"pause"_s, u"playlist_load_and_remove"_s, u"play"_s};
    case RemoteCommand::stop:
        return {u"stop"_s};
    case RemoteCommand::load:
        return {u"load"_s};
    }
    return {};
}

struct SeratoBinding
{
    QString channel;
    QString eventType;
    QString control;
    QString dataType;
    QString function;
    QString deckId;
};

struct SeratoPreset
{
    QString rootName;
    QString app;
    QList<SeratoBinding> bindings;
    QString parseError;
};

SeratoPreset parseSeratoPreset(const QByteArray &xml)
{
    SeratoPreset preset;
    QXmlStreamReader reader(xml);
    QStringList open;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement)
            open.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString name = reader.name().toString();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (open.isEmpty()) {
            preset.rootName = name;
            preset.app = attributes.value(u"app"_s).toString();
        } else if (name == u"control"_s) {
            preset.bindings.append({attributes.value(u"channel"_s).toString(),
                                    attributes.value(u"event_type"_s).toString(),
                                    attributes.value(u"control"_s).toString(),
                                    attributes.value(u"data_type"_s).toString(),
                                    {},
                                    {}});
        } else if (open.last() == u"userio"_s && !preset.bindings.isEmpty()) {
            preset.bindings.last().function = name;
            preset.bindings.last().deckId = attributes.value(u"deck_id"_s).toString();
        }
        open.append(name);
    }
    preset.parseError = reader.errorString();
    return preset;
}

std::optional<SeratoBinding> seratoBinding(const SeratoPreset &preset, const QString &eventType, int number)
{
    std::optional<SeratoBinding> found;
    for (const SeratoBinding &binding : preset.bindings) {
        if (binding.eventType == eventType && binding.control == QString::number(number)) {
            if (found)
                return std::nullopt; // bound twice: Serato would pick one of them
            found = binding;
        }
    }
    return found;
}

// One element of a flat file: its name and attributes.
struct Element
{
    QString name;
    QXmlStreamAttributes attributes;
    QString value(const QString &attribute) const { return attributes.value(attribute).toString(); }
};

// The root element and its direct children: the shape of both VirtualDJ files.
struct FlatFile
{
    Element root;
    QList<Element> children;
    QString parseError;
};

FlatFile parseFlat(const QByteArray &xml)
{
    FlatFile file;
    QXmlStreamReader reader(xml);
    if (reader.readNextStartElement()) {
        file.root = {reader.name().toString(), reader.attributes()};
        while (reader.readNextStartElement()) {
            file.children.append({reader.name().toString(), reader.attributes()});
            reader.skipCurrentElement();
        }
    }
    file.parseError = reader.errorString();
    return file;
}

QString hexByte(int value)
{
    return u"0x"_s + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

QString virtualDJDeck(DeckSide deck)
{
    return deck == DeckSide::left ? u"1"_s : u"2"_s;
}

} // namespace

class ShippedMappingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void file_isWellFormedXml_data();
    void file_isWellFormedXml();
    void build_copiesEachResourceBesideTheExecutable_data();
    void build_copiesEachResourceBesideTheExecutable();
    void seratoPreset_bindsEveryNoteOfTheNoteMap();
    void seratoPreset_bindsBothVolumeControllers();
    void virtualDJDefinition_describesTheSourceAndEveryControl();
    void virtualDJMapper_mapsEveryControlToItsDeckAction();
    void logo_isASquareImage();
    void installers_installTheBuiltResources();
};

void ShippedMappingsTest::file_isWellFormedXml_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("Serato preset") << kSeratoPreset;
    QTest::newRow("VirtualDJ definition") << kVirtualDJDefinition;
    QTest::newRow("VirtualDJ mapper") << kVirtualDJMapper;
}

void ShippedMappingsTest::file_isWellFormedXml()
{
    QFETCH(QString, relative);
    const QString xmllint = QStandardPaths::findExecutable(u"xmllint"_s);
    CONNECTOR_REQUIRE_SERVICE(!xmllint.isEmpty(), u"xmllint (libxml2-utils)"_s);

    QProcess process;
    process.start(xmllint, {u"--noout"_s, sourceResource(relative)});
    QVERIFY(process.waitForFinished(60'000));
    const QByteArray complaints = process.readAllStandardError();
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, complaints.constData());
    QCOMPARE(complaints, QByteArray());
}

void ShippedMappingsTest::build_copiesEachResourceBesideTheExecutable_data()
{
    QTest::addColumn<QString>("relative");
    for (const QString &relative : {kSeratoPreset, kVirtualDJDefinition, kVirtualDJMapper, kLogo})
        QTest::newRow(qPrintable(relative)) << relative;
}

void ShippedMappingsTest::build_copiesEachResourceBesideTheExecutable()
{
    QFETCH(QString, relative);
    const QString resources = InstallerLocations::forSystem().resourcesFolder;

    const QByteArray source = contents(sourceResource(relative));
    QVERIFY(!source.isEmpty());
    QCOMPARE(contents(QDir(resources).filePath(relative)), source);
}

void ShippedMappingsTest::seratoPreset_bindsEveryNoteOfTheNoteMap()
{
    const QByteArray xml = contents(sourceResource(kSeratoPreset));
    // Published presets carry no XML declaration; stay with what Serato itself writes.
    QVERIFY(xml.startsWith("<midi "));
    const SeratoPreset preset = parseSeratoPreset(xml);
    QCOMPARE(preset.parseError, QString());
    QCOMPARE(preset.rootName, u"midi"_s);
    QVERIFY(preset.app.startsWith(u' '));

    QSet<QString> mappedNotes;
    for (DeckSide deck : kAllDeckSides) {
        for (RemoteCommand command : kAllRemoteCommands) {
            const int note = NoteMap::note(DJPlatform::serato, command, deck);
            const QString what = rawValue(command) + u' ' + rawValue(deck);
            const std::optional<SeratoBinding> binding = seratoBinding(preset, u"Note On"_s, note);
            QVERIFY2(binding, qPrintable(what + u": note not bound exactly once"_s));
            QCOMPARE(binding->channel, QString::number(NoteMap::kChannel + 1));
            QCOMPARE(binding->function, seratoFunction(command));
            QCOMPARE(binding->deckId, deck == DeckSide::left ? u"0"_s : u"1"_s);
            mappedNotes.insert(binding->control);
        }
    }
    int noteBindings = 0;
    for (const SeratoBinding &binding : preset.bindings)
        noteBindings += binding.eventType == u"Note On"_s;
    QCOMPARE(noteBindings, mappedNotes.size());
}

void ShippedMappingsTest::seratoPreset_bindsBothVolumeControllers()
{
    const SeratoPreset preset = parseSeratoPreset(contents(sourceResource(kSeratoPreset)));

    for (DeckSide deck : kAllDeckSides) {
        const std::optional<SeratoBinding> binding =
            seratoBinding(preset, u"Control Change"_s, NoteMap::volumeController(deck));
        QVERIFY2(binding, qPrintable(rawValue(deck)));
        QCOMPARE(binding->channel, QString::number(NoteMap::kChannel + 1));
        QCOMPARE(binding->dataType, u"Absolute 7"_s);
        // The value table puts 100 % at 64, the gain knob's unity centre.
        QCOMPARE(binding->function, u"track_gain"_s);
        QCOMPARE(binding->deckId, deck == DeckSide::left ? u"0"_s : u"1"_s);
    }
    QCOMPARE(preset.bindings.size(), 10);
}

void ShippedMappingsTest::virtualDJDefinition_describesTheSourceAndEveryControl()
{
    const FlatFile definition = parseFlat(contents(sourceResource(kVirtualDJDefinition)));
    QCOMPARE(definition.parseError, QString());
    const Element &device = definition.root;
    const QList<Element> &controls = definition.children;
    QCOMPARE(device.name, u"device"_s);
    QCOMPARE(device.value(u"drivername"_s), midiDeviceName(DJPlatform::virtualDJ));
    QCOMPARE(device.value(u"type"_s), u"MIDI"_s);
    QCOMPARE(device.value(u"decks"_s), u"2"_s);
    QVERIFY(!device.value(u"name"_s).isEmpty());

    QSet<QString> expected;
    for (DeckSide deck : kAllDeckSides) {
        for (RemoteCommand command : kAllRemoteCommands)
            expected.insert(u"button "_s + hexByte(NoteMap::note(DJPlatform::virtualDJ, command, deck)) + u' '
                            + virtualDJDeck(deck));
        expected.insert(u"slider "_s + hexByte(NoteMap::volumeController(deck)) + u' ' + virtualDJDeck(deck));
    }
    QSet<QString> described;
    QSet<QString> names;
    for (const Element &control : controls) {
        QCOMPARE(control.value(u"channel"_s), QString::number(NoteMap::kChannel));
        const QString number =
            control.name == u"slider"_s ? control.value(u"cc"_s) : control.value(u"note"_s);
        described.insert(control.name + u' ' + number + u' ' + control.value(u"deck"_s));
        names.insert(control.value(u"name"_s));
    }
    QCOMPARE(described, expected);
    QCOMPARE(names.size(), controls.size());
}

void ShippedMappingsTest::virtualDJMapper_mapsEveryControlToItsDeckAction()
{
    const FlatFile definition = parseFlat(contents(sourceResource(kVirtualDJDefinition)));
    const FlatFile mapperFile = parseFlat(contents(sourceResource(kVirtualDJMapper)));
    QCOMPARE(mapperFile.parseError, QString());
    const Element &device = definition.root;
    const QList<Element> &controls = definition.children;
    const Element &mapper = mapperFile.root;
    const QList<Element> &maps = mapperFile.children;
    QCOMPARE(mapper.name, u"mapper"_s);
    QCOMPARE(mapper.value(u"device"_s), device.value(u"name"_s));
    QHash<QString, QString> actions;
    for (const Element &map : maps) {
        QCOMPARE(map.name, u"map"_s);
        QVERIFY2(!actions.contains(map.value(u"value"_s)), qPrintable(map.value(u"value"_s)));
        actions.insert(map.value(u"value"_s), map.value(u"action"_s));
    }
    QCOMPARE(actions.size(), controls.size());

    const auto controlName = [&controls](const QString &kind, const QString &number, DeckSide deck) {
        for (const Element &control : controls) {
            const QString attribute = kind == u"slider"_s ? u"cc"_s : u"note"_s;
            if (control.name == kind && control.value(attribute) == number
                && control.value(u"deck"_s) == virtualDJDeck(deck))
                return control.value(u"name"_s);
        }
        return QString();
    };
    const auto verbsOn = [](const QString &action, DeckSide deck) {
        QStringList verbs;
        const QString prefix = u"deck "_s + virtualDJDeck(deck) + u' ';
        for (const QString &step : action.split(u'&')) {
            const QString trimmed = step.trimmed();
            verbs.append(trimmed.startsWith(prefix) ? trimmed.mid(prefix.size())
                                                    : u"<wrong deck> "_s + trimmed);
        }
        return verbs;
    };

    for (DeckSide deck : kAllDeckSides) {
        for (RemoteCommand command : kAllRemoteCommands) {
            const QString name =
                controlName(u"button"_s, hexByte(NoteMap::note(DJPlatform::virtualDJ, command, deck)), deck);
            QVERIFY2(actions.contains(name), qPrintable(rawValue(command) + u' ' + rawValue(deck)));
            QCOMPARE(verbsOn(actions.value(name), deck), virtualDJVerbs(command));
        }
        const QString volume = controlName(u"slider"_s, hexByte(NoteMap::volumeController(deck)), deck);
        QVERIFY2(actions.contains(volume), qPrintable(u"volume "_s + rawValue(deck)));
        QCOMPARE(verbsOn(actions.value(volume), deck), QStringList{u"volume"_s});
    }
}

void ShippedMappingsTest::logo_isASquareImage()
{
    QImageReader reader(sourceResource(kLogo));
    QCOMPARE(reader.format(), "png"_ba);
    const QSize size = reader.size();
    QCOMPARE(size.width(), size.height());
    QVERIFY(size.width() >= 256);
    QVERIFY(!reader.read().isNull());
}

// The built resources folder is where forSystem() looks, and the installers accept its files.
void ShippedMappingsTest::installers_installTheBuiltResources()
{
    TestFixture fixture;
    InstallerLocations locations = InstallerLocations::forSystem();
    locations.homeFolder = fixture.path(u"home"_s);
    locations.documentsFolder = fixture.path(u"home/Documents"_s);
    locations.applicationSupportFolder = fixture.path(u"home/Library/Application Support"_s);
    const SystemClock clock;

    QCOMPARE(SeratoPresetInstaller::install(locations, clock), std::nullopt);
    QCOMPARE(VirtualDJMappingInstaller::install(locations, clock), false);

    QVERIFY(SeratoPresetInstaller::isInstalled(locations));
    QVERIFY(VirtualDJMappingInstaller::isInstalled(locations));
    QCOMPARE(contents(SeratoPresetInstaller::destinationPath(locations)),
             contents(sourceResource(kSeratoPreset)));
    QCOMPARE(contents(locations.applicationSupportFolder + u"/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s),
             contents(sourceResource(kVirtualDJMapper)));
}

QTEST_GUILESS_MAIN(ShippedMappingsTest)
#include "tst_shippedmappings.moc"
