#include "app/connectormodel.h"
#include "app/headlessconsole.h"
#include "support/connectortestenvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

File temporaryFile()
{
    return {std::tmpfile(), &std::fclose};
}

// What a headless console printed, each drawn QR code as one line "QR code".
QStringList printedLines(FILE *output)
{
    std::rewind(output);
    QFile file;
    if (!file.open(output, QIODevice::ReadOnly))
        return {u"unreadable"_s};
    QStringList printed;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const bool drawn = QRegularExpression(u"^[ \u2580\u2584\u2588]+$"_s).match(line).hasMatch();
        if (!drawn || printed.value(printed.size() - 1) != u"QR code"_s)
            printed << (drawn ? u"QR code"_s : line);
    }
    return printed;
}

} // namespace

// The model behind the window and the headless console, over a temporary home, recording MIDI
// outputs and loopback listeners: what the DJ reads after each action.
class ConnectorModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headlessConsole_printsEachStateOnce();
    void actions_reportWhatHappenedAndAreRemembered();
    void unwritableSettings_warnOncePerChange();
    void updateCheck_showsWhatThePublishedManifestSays_data();
    void updateCheck_showsWhatThePublishedManifestSays();
};

void ConnectorModelTest::headlessConsole_printsEachStateOnce()
{
    ConnectorTestEnvironment test;
    test.localAddress.reset();
    const File output = temporaryFile();
    QStringList expected;
    {
        ConnectorModel model(test.make());
        HeadlessConsole console(model, output.get());
        expected << u"Starting Serato DJ Pro mode…"_s << u"Pairing code: "_s + model.pairingCode()
                 << u"Virtual MIDI device ready"_s;
        QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s), 10000);
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
    QCOMPARE(printedLines(output.get()), expected);
}

void ConnectorModelTest::actions_reportWhatHappenedAndAreRemembered()
{
    ConnectorTestEnvironment test;
    ConnectorModel model(test.make());
    const QString seratoCode = model.pairingCode();
    model.setSelectedTestDeck(DeckSide::right);
    model.sendTestCommand(u"play"_s);
    QCOMPARE(model.rightState(), u"playing"_s);
    model.sendSeratoMappingPulse(u"load"_s, u"left"_s);
    QCOMPARE(model.lastCommand(), u"Serato mapping pulse sent for Left Load Track."_s);
    QVERIFY(test.midiLogs[DJPlatform::serato]->waitForCount(4));
    QVERIFY(std::ranges::count(test.midiLogs[DJPlatform::serato]->bytes(), MIDIMessageLog::Bytes{0x9F, 88, 127}));
    model.setWeddingScript(u"  [CUE] First dance  \n"_s);
    model.saveWeddingScript();
    QCOMPARE(model.lastCommand(), u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s);
    QCOMPARE(model.weddingScript(), u"[CUE] First dance"_s);
    // Unsaved edits survive the refreshes.
    model.setWeddingScript(u"Cake"_s);
    model.sendTestCommand(RemoteCommand::stop);
    QCOMPARE(model.weddingScript(), u"Cake"_s);

    // Another platform: its own port and code, remembered for the next start.
    test.runningApplications->set({{42, u"VirtualDJ"_s, QString()}});
    model.choosePlatform(u"virtualDJ"_s);
    QCOMPARE(model.remoteAddress(), u"http://192.168.1.20:53732"_s);
    QVERIFY(model.pairingCode() != seratoCode);
    model.installVirtualDJMapping();
    QCOMPARE(model.lastCommand(), u"VirtualDJ mapping installed. Quit and reopen VirtualDJ once."_s);
    test.fixture.writeFile(u"home/Documents/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s, "<mapper/>");
    model.installVirtualDJMapping();
    QCOMPARE(model.lastCommand(), u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. "
                                  u"Quit and reopen VirtualDJ once."_s);
    // The launcher finds it by identifier, else at the fallback path, else says so.
    model.launchDJSoftware();
    QCOMPARE(model.lastCommand(), u"VirtualDJ was not found in Applications."_s);
    test.launcher->existingPaths << u"/Applications/VirtualDJ.app"_s;
    model.launchDJSoftware();
    test.launcher->registered.insert(u"com.atomixproductions.virtualdjhome"_s, u"/apps/vdj.desktop"_s);
    test.launcher->openError = u"Permission denied"_s;
    model.launchDJSoftware();
    QCOMPARE(test.launcher->opened, (QStringList{u"/Applications/VirtualDJ.app"_s, u"/apps/vdj.desktop"_s}));
    QTRY_COMPARE(model.lastCommand(), u"The DJ software could not open: Permission denied"_s);

    test.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{u"A"_s});
    ConnectorModel restarted(test.make());
    QCOMPARE(restarted.selectedPlatform(), DJPlatform::virtualDJ);
    restarted.choosePlatform(DJPlatform::serato);
    QCOMPARE(restarted.pairingCode(), seratoCode);
    restarted.saveWeddingScript();
    QCOMPARE(restarted.lastCommand(), u"Wedding script saved for paired devices."_s);

    ConnectorEnvironment broken = test.make();
    broken.installerLocations.resourcesFolder = test.fixture.path(u"no-resources"_s);
    ConnectorModel damaged(std::move(broken), ConnectorModel::Activation::actionsOnly);
    damaged.choosePlatform(DJPlatform::serato);
    QVERIFY(!damaged.installSelectedPlatformMapping());
    QCOMPARE(damaged.lastCommand(), u"Serato preset could not be installed: The included Tarvik Remote preset "
                                    u"is missing. Reinstall the app and try again."_s);
}

// Regression: settings that never reached the disk were reported as saved, and nothing told the DJ.
void ConnectorModelTest::unwritableSettings_warnOncePerChange()
{
    ConnectorTestEnvironment test;
    const QString folder = test.fixture.writeFile(u"not-a-folder"_s, "x");
    ConnectorEnvironment environment = test.make();
    environment.settings = std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
    const File output = temporaryFile();
    ConnectorModel model(std::move(environment));
    HeadlessConsole console(model, output.get());
    const QString warning = u"Settings cannot be saved: "_s + folder
                            + u"/settings.ini. Pairings and the wedding script will be lost when the "
                              u"connector stops."_s;
    QCOMPARE(model.settingsWarning(), warning);

    model.setWeddingScript(u"Vows"_s);
    model.saveWeddingScript();
    QCOMPARE(model.lastCommand(), u"The wedding script could not be saved on this computer."_s);
    QCOMPARE(model.weddingScript(), u"Vows"_s);
    model.resetPairing();
    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    model.saveWeddingScript();
    QCOMPARE(model.lastCommand(), u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s);
    QCOMPARE(model.settingsWarning(), QString());
    QTRY_COMPARE(model.lastCommand(), u"SERATO wedding script updated for paired devices."_s);
    const QStringList lines = printedLines(output.get());
    QCOMPARE(lines.count(warning), 1);
    QCOMPARE(lines.count(u"Settings are saved again."_s), 1);
    QVERIFY(lines.indexOf(warning) < lines.indexOf(u"Settings are saved again."_s));
}

void ConnectorModelTest::updateCheck_showsWhatThePublishedManifestSays_data()
{
    QTest::addColumn<int>("status"); // 0: no answer at all
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown"); // the message and the download link; none for a failed check
    const QByteArray newer = R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})";
    const QString upToDate = u"Tarvik DJ Connector is up to date. "_s;
    const auto row = [](const char *name, int status, const QByteArray &body, const QString &shown) {
        QTest::newRow(name) << status << body << shown;
    };
    row("newer", 200, newer, u"Version 1.0.7 is available. https://t.example/d"_s);
    row("same build", 200, R"({"version":"1.0.9","build":8,"download_url":"http://t.example/"})", upToDate);
    row("older", 200, R"({"version":"2.0","build":7,"download_url":"https://t.example/"})", upToDate);
    row("build as string", 200, R"({"version":"1","build":"9","download_url":"https://t.example/"})", {});
    row("fractional build", 200, R"({"version":"1","build":9.5,"download_url":"https://t.example/"})", {});
    row("missing link", 200, R"({"version":"1.0.7","build":9})", {});
    row("relative link", 200, R"({"version":"1","build":9,"download_url":"/d.dmg"})", {});
    row("file link", 200, R"({"version":"1","build":9,"download_url":"file:///etc/passwd"})", {});
    row("custom scheme", 200, R"({"version":"1","build":9,"download_url":"tarvik://run"})", {});
    row("not an object", 200, "[1,2]", {});
    // Qt reports 4xx and 5xx as errors itself, but not a 3xx it does not follow.
    row("multiple choices", 300, newer, {});
    row("not found", 404, newer, {});
    row("server error", 503, newer, {});
    row("no answer (timeout)", 0, {}, {});
}

void ConnectorModelTest::updateCheck_showsWhatThePublishedManifestSays()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    const QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: "
                                + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    // Answers every request with the response, or (status 0) never.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, response, status] {
            socket->readAll();
            if (status != 0) {
                socket->write(response);
                socket->disconnectFromHost();
            }
        });
    });
    ConnectorTestEnvironment test;
    ConnectorEnvironment environment = test.make();
    environment.updateManifestURL = QUrl(u"http://127.0.0.1:%1/m.json"_s.arg(server.serverPort()));
    environment.updateTimeoutMs = 500;
    ConnectorModel model(std::move(environment), ConnectorModel::Activation::actionsOnly);
    QSignalSpy finished(&model, &ConnectorModel::updateCheckFinished);
    // The second check starts without the first one's link.
    for (int check = 0; check < 2; ++check) {
        model.checkForUpdates();
        QVERIFY(model.isCheckingForUpdates());
        QCOMPARE(model.updateMessage() + model.downloadUpdateURL().toString(), u"Checking for updates…"_s);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().value(0).toBool(), !shown.isEmpty());
        QCOMPARE(model.updateMessage() + u' ' + model.downloadUpdateURL().toString(),
                 shown.isEmpty() ? u"Update information is not published yet. "_s : shown);
        QVERIFY(!model.isCheckingForUpdates());
    }
}

QTEST_GUILESS_MAIN(ConnectorModelTest)
#include "tst_connectormodel.moc"
