#include "app/connectormodel.h"
#include "app/headlessconsole.h"
#include "support/connectortestenvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString kPlatformKey = u"TarvikDJConnector.selectedPlatform"_s;

} // namespace

class ConnectorModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void construction_readsThePlatformFromSettings_data();
    void construction_readsThePlatformFromSettings();
    void choosePlatform_samePlatformDoesNothing();
    void choosePlatform_switchesRuntimeAndPersists();
    void routerMessage_updatesLastCommandAndDecksAtOnce();
    void scriptEditor_keepsUnsavedEditsAcrossRefreshes();
    void pairingQRCode_isRenderedOnlyWhenThePayloadChanges();
    void pairingQRCodeAndCopy_needAnAddress();
    void saveWeddingScript_messageDependsOnPairedDevices();
    void sendSeratoMappingPulse_onlyInSeratoMode();
    void installVirtualDJMapping_messages();
    void installSeratoMapping_messagesAndFailure();
    void launchDJSoftware_findsOrExplains();
    void unwritableSettings_warnOncePerChangeInModelAndHeadlessOutput();
};

void ConnectorModelTest::construction_readsThePlatformFromSettings_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absent") << QVariant() << u"serato"_s;
    QTest::newRow("virtualDJ") << QVariant(u"virtualDJ"_s) << u"virtualDJ"_s;
    QTest::newRow("wrong case") << QVariant(u"virtualdj"_s) << u"serato"_s;
    QTest::newRow("nonsense") << QVariant(u"traktor"_s) << u"serato"_s;
}

void ConnectorModelTest::construction_readsThePlatformFromSettings()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);
    ConnectorTestEnvironment test;
    if (stored.isValid())
        test.fixture.settings()->setValue(kPlatformKey, stored);

    ConnectorModel model(test.make());
    QCOMPARE(rawValue(model.selectedPlatform()), expected);
    QCOMPARE(model.serverStatus(), u"Starting "_s + displayName(model.selectedPlatform()) + u" mode…"_s);
    QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s), 10000);
    // A stored value that is no platform stays as it was until the user chooses one.
    QCOMPARE(test.fixture.settings()->value(kPlatformKey), stored);
    QCOMPARE(model.remoteAddress(),
             u"http://192.168.1.20:"_s + QString::number(port(model.selectedPlatform())));
}

void ConnectorModelTest::choosePlatform_samePlatformDoesNothing()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    QSignalSpy platformChanged(&model, &ConnectorModel::selectedPlatformChanged);
    model.choosePlatform(DJPlatform::serato);
    QCOMPARE(test.transportsMade, 1);
    QCOMPARE(platformChanged.count(), 0);
    QVERIFY(!test.fixture.settings()->contains(kPlatformKey));
}

void ConnectorModelTest::choosePlatform_switchesRuntimeAndPersists()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    const std::weak_ptr<MIDIMessageLog> seratoLog = test.midiLogs[DJPlatform::serato];

    model.choosePlatform(u"virtualDJ"_s);
    QCOMPARE(model.selectedPlatform(), DJPlatform::virtualDJ);
    QCOMPARE(test.transportsMade, 2);
    QCOMPARE(test.fixture.settings()->value(kPlatformKey).toString(), u"virtualDJ"_s);
    QVERIFY(model.remoteAddress().endsWith(u":53732"_s));
    QCOMPARE(model.serverStatus(), u"Starting VirtualDJ mode…"_s);
    QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s), 10000);

    // Each platform keeps its own pairing code.
    const QString virtualDJCode = model.pairingCode();
    model.choosePlatform(u"serato"_s);
    const QString seratoCode = model.pairingCode();
    model.choosePlatform(DJPlatform::virtualDJ);
    QCOMPARE(model.pairingCode(), virtualDJCode);
    QVERIFY(test.fixture.settings()->value(u"TarvikDJConnector.serato.pairingCode"_s).toString()
            == seratoCode);
}

void ConnectorModelTest::routerMessage_updatesLastCommandAndDecksAtOnce()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    model.setSelectedTestDeck(DeckSide::right);
    model.sendTestCommand(u"play"_s);
    QCOMPARE(model.rightState(), u"playing"_s);
    QTRY_COMPARE(model.lastCommand(), u"Play sent to SERATO right deck."_s);
    QVERIFY(test.midiLogs[DJPlatform::serato]->waitForCount(1));
    QCOMPARE(test.midiLogs[DJPlatform::serato]->bytes().front(), (MIDIMessageLog::Bytes{0x9F, 84, 127}));

    model.sendTestCommand(u"nonsense"_s);
    QCOMPARE(model.rightState(), u"playing"_s);
}

void ConnectorModelTest::scriptEditor_keepsUnsavedEditsAcrossRefreshes()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    model.setWeddingScript(u"[CUE] First dance"_s);
    model.saveWeddingScript();
    QCOMPARE(model.weddingScript(), u"[CUE] First dance"_s);

    // Unsaved edits survive refreshes.
    model.setWeddingScript(u"[CUE] First dance\nCake"_s);
    model.resetPairing(); // refreshes
    QCOMPARE(model.weddingScript(), u"[CUE] First dance\nCake"_s);

    // Saving hands the text to the store, and the editor shows the store's trimmed form.
    model.setWeddingScript(u"  Trimmed by the store  \n"_s);
    model.saveWeddingScript();
    QCOMPARE(model.weddingScript(), u"Trimmed by the store"_s);
}

void ConnectorModelTest::pairingQRCode_isRenderedOnlyWhenThePayloadChanges()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    QVERIFY(!model.pairingQRCode().isNull());
    const qint64 firstImage = model.pairingQRCode().cacheKey();
    QVERIFY(model.pairingPayload().endsWith(u"&code="_s + model.pairingCode()));

    model.sendTestCommand(RemoteCommand::stop); // refreshes with nothing changed
    QCOMPARE(model.pairingQRCode().cacheKey(), firstImage);

    model.resetPairing();
    QVERIFY(model.pairingQRCode().cacheKey() != firstImage);
    QVERIFY(model.pairingPayload().endsWith(u"&code="_s + model.pairingCode()));
    QTRY_COMPARE(model.lastCommand(), u"SERATO pairing reset. Existing devices must pair again."_s);
}

void ConnectorModelTest::pairingQRCodeAndCopy_needAnAddress()
{
    ConnectorTestEnvironment test;
    test.localAddress.reset();
    ConnectorModel model(test.make());
    QCOMPARE(model.remoteAddress(), u"Finding this Mac…"_s);
    QVERIFY(model.pairingQRCode().isNull());
    QVERIFY(model.pairingPayload().isEmpty());
    model.copyAddress();
    QVERIFY(test.clipboard.isEmpty());

    // A lost network keeps the last address and its image.
    test.localAddress = u"10.0.0.7"_s;
    model.resetPairing();
    QVERIFY(!model.pairingQRCode().isNull());
    const qint64 image = model.pairingQRCode().cacheKey();
    test.localAddress.reset();
    model.sendTestCommand(RemoteCommand::stop);
    QCOMPARE(model.remoteAddress(), u"http://10.0.0.7:53731"_s);
    QCOMPARE(model.pairingQRCode().cacheKey(), image);
    model.copyAddress();
    QCOMPARE(test.clipboard, QStringList{u"http://10.0.0.7:53731"_s});
    QCOMPARE(model.lastCommand(), u"Connector address copied."_s);
}

void ConnectorModelTest::saveWeddingScript_messageDependsOnPairedDevices()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    QSignalSpy messages(&model, &ConnectorModel::lastCommandChanged);
    model.setWeddingScript(u"Entrance"_s);
    model.saveWeddingScript();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(model.lastCommand(), u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s);
    QTRY_COMPARE(model.lastCommand(), u"SERATO wedding script updated for paired devices."_s);

    test.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{u"A"_s});
    ConnectorModel paired(test.make());
    paired.saveWeddingScript();
    QCOMPARE(paired.lastCommand(), u"Wedding script saved for paired devices."_s);
}

void ConnectorModelTest::sendSeratoMappingPulse_onlyInSeratoMode()
{
    ConnectorTestEnvironment test;
    test.fixture.settings()->setValue(kPlatformKey, u"virtualDJ"_s);
    ConnectorModel model(test.make());
    model.sendSeratoMappingPulse(u"load"_s, u"right"_s);
    QCOMPARE(model.lastCommand(), u"Waiting for the iPhone or iPad"_s);
    QTest::qWait(100);
    QCOMPARE(test.midiLogs[DJPlatform::virtualDJ]->count(), 0u);

    model.choosePlatform(DJPlatform::serato);
    model.sendSeratoMappingPulse(u"load"_s, u"right"_s);
    QCOMPARE(model.lastCommand(), u"Serato mapping pulse sent for Right Load Track."_s);
    QVERIFY(test.midiLogs[DJPlatform::serato]->waitForCount(2));
    QCOMPARE(test.midiLogs[DJPlatform::serato]->bytes().front(), (MIDIMessageLog::Bytes{0x9F, 89, 127}));
    QCOMPARE(model.rightState(), u"stopped"_s);
}

void ConnectorModelTest::installVirtualDJMapping_messages()
{
    ConnectorTestEnvironment test;
    test.fixture.settings()->setValue(kPlatformKey, u"virtualDJ"_s);
    test.runningApplications->set({{42, u"VirtualDJ"_s, QString()}});
    ConnectorModel model(test.make());
    QVERIFY(!model.mappingInstalled());

    model.installSeratoMapping(); // not the selected platform
    QCOMPARE(model.lastCommand(), u"Waiting for the iPhone or iPad"_s);

    model.installVirtualDJMapping();
    QCOMPARE(model.lastCommand(), u"VirtualDJ mapping installed. Quit and reopen VirtualDJ once."_s);
    QVERIFY(model.mappingInstalled());
    model.installVirtualDJMapping();
    QCOMPARE(model.lastCommand(), u"VirtualDJ mapping installed. Quit and reopen VirtualDJ once."_s);

    test.runningApplications->set({});
    QFile mapper(test.fixture.path(u"home/Documents/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s));
    QVERIFY(mapper.open(QIODevice::WriteOnly));
    mapper.write("<mapper/>");
    mapper.close();
    model.sendTestCommand(RemoteCommand::stop);
    QVERIFY(!model.mappingInstalled());
    model.installVirtualDJMapping();
    QCOMPARE(
        model.lastCommand(),
        u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. Quit and reopen VirtualDJ once."_s);
    QVERIFY(!model.djSoftwareRunning());
}

void ConnectorModelTest::installSeratoMapping_messagesAndFailure()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    model.installSeratoMapping();
    QCOMPARE(
        model.lastCommand(),
        u"Serato preset installed. In Setup → MIDI, enable Tarvik DJ Connector Serato and select Tarvik Remote."_s);
    QVERIFY(model.mappingInstalled());

    ConnectorEnvironment broken = test.make();
    broken.installerLocations.resourcesFolder = test.fixture.path(u"no-resources"_s);
    ConnectorModel damaged(std::move(broken), ConnectorModel::Activation::actionsOnly);
    QVERIFY(!damaged.installSelectedPlatformMapping());
    QVERIFY(!damaged.mappingInstalled());
    QCOMPARE(damaged.lastCommand(),
             u"Serato preset could not be installed: The included Tarvik Remote preset is "
             u"missing. Reinstall the app and try again."_s);
}

void ConnectorModelTest::launchDJSoftware_findsOrExplains()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    model.launchDJSoftware();
    QCOMPARE(model.lastCommand(), u"Serato DJ Pro was not found in Applications."_s);
    QVERIFY(test.launcher->opened.isEmpty());

    test.launcher->existingPaths << u"/Applications/Serato DJ Pro.app"_s;
    model.launchDJSoftware();
    QCOMPARE(test.launcher->opened, QStringList{u"/Applications/Serato DJ Pro.app"_s});

    model.choosePlatform(DJPlatform::virtualDJ);
    test.launcher->registered.insert(u"com.atomixproductions.virtualdjhome"_s, u"/apps/vdj-home.desktop"_s);
    test.launcher->openError = u"Permission denied"_s;
    model.launchDJSoftware();
    QCOMPARE(test.launcher->opened.last(), u"/apps/vdj-home.desktop"_s);
    QTRY_COMPARE(model.lastCommand(), u"The DJ software could not open: Permission denied"_s);
}

// Regression: settings that never reached the disk were reported as saved, and nothing told the DJ.
void ConnectorModelTest::unwritableSettings_warnOncePerChangeInModelAndHeadlessOutput()
{
    ConnectorTestEnvironment test;
    const QString folder = test.fixture.writeFile(u"not-a-folder"_s, "x");
    ConnectorEnvironment environment = test.make();
    environment.settings = std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
    ConnectorModel model(std::move(environment));
    const QString warning = u"Settings cannot be saved: "_s + folder
                            + u"/settings.ini. Pairings and the wedding script will be lost when the "
                              u"connector stops."_s;
    QCOMPARE(model.settingsWarning(), warning);
    const std::unique_ptr<FILE, int (*)(FILE *)> output(std::tmpfile(), &std::fclose);
    HeadlessConsole console(model, output.get());
    QSignalSpy changes(&model, &ConnectorModel::settingsWarningChanged);

    model.setWeddingScript(u"Vows"_s);
    model.saveWeddingScript();
    QCOMPARE(model.lastCommand(), u"The wedding script could not be saved on this computer."_s);
    QCOMPARE(model.weddingScript(), u"Vows"_s);
    model.resetPairing();
    QCOMPARE(changes.count(), 0);

    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    model.saveWeddingScript();
    QCOMPARE(model.lastCommand(), u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s);
    QCOMPARE(model.settingsWarning(), QString());
    QTRY_COMPARE(model.lastCommand(), u"SERATO wedding script updated for paired devices."_s);
    QCOMPARE(changes.count(), 1);

    std::rewind(output.get());
    QFile printed;
    QVERIFY(printed.open(output.get(), QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(printed.readAll()).split(u'\n');
    QCOMPARE(lines.count(warning), 1);
    QCOMPARE(lines.count(u"Settings are saved again."_s), 1);
    QVERIFY(lines.indexOf(warning) < lines.indexOf(u"Settings are saved again."_s));
}

QTEST_GUILESS_MAIN(ConnectorModelTest)
#include "tst_connectormodel.moc"
