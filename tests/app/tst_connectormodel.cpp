#include "app/connectormodel.h"
#include "app/headlessconsole.h"
#include "support/connectortestenvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

// The model behind the window and the headless console, over a temporary home, recording MIDI
// outputs and loopback listeners: what the DJ reads after each action.
class ConnectorModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headlessConsole_printsEachStateOnce()
    {
        ConnectorTestEnvironment test;
        test.localAddress.reset();
        const QString outputPath = test.fixture.path(u"console.txt"_s);
        FILE *output = std::fopen(qPrintable(outputPath), "w");
        QStringList expected;
        {
            ConnectorModel model(test.make());
            HeadlessConsole console(model, output);
            expected << u"Starting Serato DJ Pro mode…"_s << u"Pairing code: "_s + model.pairingCode()
                     << u"Virtual MIDI device ready"_s;
            QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s),
                                     10000);
            expected << model.serverStatus();
            // Nothing to copy or draw before the address is known; refreshes repeat nothing.
            model.copyAddress();
            model.sendTestCommand(RemoteCommand::stop);
            test.localAddress = u"10.0.0.7"_s;
            model.sendTestCommand(RemoteCommand::stop);
            // A lost network keeps the last address.
            test.localAddress.reset();
            model.sendTestCommand(RemoteCommand::stop);
            model.copyAddress();
            model.resetPairing();
            QTRY_COMPARE(model.lastCommand(), u"SERATO pairing reset. Existing devices must pair again."_s);
            const QString stop = u"Stop/Cue sent to SERATO left deck."_s;
            expected << u"http://10.0.0.7:53731"_s << u"QR code"_s << u"Connector address copied."_s
                     << u"Pairing code: "_s + model.pairingCode() << u"QR code"_s << stop << stop << stop
                     << model.lastCommand();
            QCOMPARE(test.clipboard, QStringList{u"http://10.0.0.7:53731"_s});
        }
        std::fclose(output);
        QFile file(outputPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList printed;
        // The drawn QR code counts as one line here; tst_pairingqrcode reads it back.
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
            const bool drawn = QRegularExpression(u"^[ \u2580\u2584\u2588]+$"_s).match(line).hasMatch();
            if (!drawn || printed.last() != u"QR code"_s)
                printed << (drawn ? u"QR code"_s : line);
        }
        QCOMPARE(printed, expected);
    }

    void platformDecksAndScript_showTheirMessages()
    {
        ConnectorTestEnvironment test;
        ConnectorModel model(test.make());
        const QString seratoCode = model.pairingCode();
        model.setSelectedTestDeck(DeckSide::right);
        model.sendTestCommand(u"play"_s);
        model.sendTestCommand(u"nonsense"_s);
        QCOMPARE(model.rightState(), u"playing"_s);
        QTRY_COMPARE(model.lastCommand(), u"Play sent to SERATO right deck."_s);
        model.sendSeratoMappingPulse(u"load"_s, u"left"_s);
        QCOMPARE(model.lastCommand(), u"Serato mapping pulse sent for Left Load Track."_s);
        QVERIFY(test.midiLogs[DJPlatform::serato]->waitForCount(4));
        QVERIFY(std::ranges::count(test.midiLogs[DJPlatform::serato]->bytes(),
                                   MIDIMessageLog::Bytes{0x9F, 88, 127}));

        model.setWeddingScript(u"  [CUE] First dance  \n"_s);
        model.saveWeddingScript();
        QCOMPARE(model.lastCommand(), u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s);
        QCOMPARE(model.weddingScript(), u"[CUE] First dance"_s);
        // Unsaved edits survive the refreshes.
        model.setWeddingScript(u"Cake"_s);
        model.sendTestCommand(RemoteCommand::stop);
        QCOMPARE(model.weddingScript(), u"Cake"_s);

        // Another platform: its own port and code, remembered for the next start; no Serato pulses.
        model.choosePlatform(u"virtualDJ"_s);
        QCOMPARE(model.serverStatus(), u"Starting VirtualDJ mode…"_s);
        QCOMPARE(model.remoteAddress(), u"http://192.168.1.20:53732"_s);
        QVERIFY(model.pairingCode() != seratoCode);
        model.sendSeratoMappingPulse(u"load"_s, u"right"_s);
        QTest::qWait(100);
        QCOMPARE(test.midiLogs[DJPlatform::virtualDJ]->count(), 0u);
        test.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{u"A"_s});
        ConnectorModel restarted(test.make());
        QCOMPARE(restarted.selectedPlatform(), DJPlatform::virtualDJ);
        restarted.choosePlatform(DJPlatform::serato);
        QCOMPARE(restarted.pairingCode(), seratoCode);
        restarted.saveWeddingScript();
        QCOMPARE(restarted.lastCommand(), u"Wedding script saved for paired devices."_s);
    }

    void installAndLaunch_reportEachOutcome()
    {
        ConnectorTestEnvironment test;
        test.fixture.settings()->setValue(u"TarvikDJConnector.selectedPlatform"_s, u"virtualDJ"_s);
        test.runningApplications->set({{42, u"VirtualDJ"_s, QString()}});
        ConnectorModel model(test.make());
        model.installSeratoMapping(); // not the selected platform
        QCOMPARE(model.lastCommand(), u"Waiting for the iPhone or iPad"_s);
        model.installVirtualDJMapping();
        QCOMPARE(model.lastCommand(), u"VirtualDJ mapping installed. Quit and reopen VirtualDJ once."_s);
        test.fixture.writeFile(u"home/Documents/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s, "<mapper/>");
        model.sendTestCommand(RemoteCommand::stop);
        QVERIFY(!model.mappingInstalled());
        model.installVirtualDJMapping();
        QCOMPARE(model.lastCommand(),
                 u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. "
                 u"Quit and reopen VirtualDJ once."_s);
        QVERIFY(model.mappingInstalled());

        // Found by identifier, else at the fallback path, else explained.
        model.launchDJSoftware();
        QCOMPARE(model.lastCommand(), u"VirtualDJ was not found in Applications."_s);
        test.launcher->existingPaths << u"/Applications/VirtualDJ.app"_s;
        model.launchDJSoftware();
        test.launcher->registered.insert(u"com.atomixproductions.virtualdjhome"_s, u"/apps/vdj.desktop"_s);
        test.launcher->openError = u"Permission denied"_s;
        model.launchDJSoftware();
        QCOMPARE(test.launcher->opened,
                 (QStringList{u"/Applications/VirtualDJ.app"_s, u"/apps/vdj.desktop"_s}));
        QTRY_COMPARE(model.lastCommand(), u"The DJ software could not open: Permission denied"_s);

        ConnectorEnvironment broken = test.make();
        broken.installerLocations.resourcesFolder = test.fixture.path(u"no-resources"_s);
        ConnectorModel damaged(std::move(broken), ConnectorModel::Activation::actionsOnly);
        damaged.choosePlatform(DJPlatform::serato);
        QVERIFY(!damaged.installSelectedPlatformMapping());
        QCOMPARE(damaged.lastCommand(),
                 u"Serato preset could not be installed: The included Tarvik Remote preset "
                 u"is missing. Reinstall the app and try again."_s);
    }

    // Regression: settings that never reached the disk were reported as saved, and nothing told the DJ.
    void unwritableSettings_warnOncePerChangeInModelAndHeadlessOutput()
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
};

QTEST_GUILESS_MAIN(ConnectorModelTest)
#include "tst_connectormodel.moc"
