#include "app/connectormodel.h"
#include "app/headlessconsole.h"
#include "core/activitylog.h"
#include "support/connectorprocess.h"
#include "support/connectortestenvironment.h"
#include "support/servicerequirement.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The terminal's half blocks, each at the index of the halves it lights: bit 0 the top, bit 1 the bottom.
const QString kBlocks = u" \u2580\u2584\u2588"_s;

// Everything a headless console printed.
QString printed(FILE *output)
{
    std::rewind(output);
    QFile file;
    return file.open(output, QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"unreadable"_s;
}

// What the real zbar decoder reads in a picture; empty when it finds no symbol.
QString decodedByZbar(const QImage &picture)
{
    QTemporaryDir folder;
    QProcess zbar;
    if (picture.save(folder.filePath(u"code.png"_s)))
        zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, folder.filePath(u"code.png"_s)});
    zbar.waitForFinished(30000);
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// Paints the half blocks of a printed code back into a picture of 8-pixel modules within a light margin:
// light where a block is drawn, as the usual light-on-dark terminal shows them.
QImage pictureOfPrintedCode(const QString &printed)
{
    const QStringList lines = printed.split(u'\n').filter(QRegularExpression(u"^["_s + kBlocks + u"]+$"_s));
    QImage modules(int(lines.constFirst().size()) + 8, int(lines.size()) * 2 + 8, QImage::Format_Grayscale8);
    modules.fill(Qt::white);
    for (int y = 0; y < lines.size() * 2; ++y) {
        for (int x = 0; x < lines[y / 2].size(); ++x) {
            if ((kBlocks.indexOf(lines[y / 2][x]) >> (y % 2) & 1) == 0)
                modules.setPixelColor(x + 4, y + 4, Qt::black);
        }
    }
    return modules.scaled(modules.size() * 8);
}

// Waits until the model serves phones; the port, or 0. A note on discovery may follow the port.
quint16 servingPort(const ConnectorModel &model)
{
    const QString ready = u"Ready on private network port "_s;
    const bool serving = QTest::qWaitFor([&] { return model.serverStatus().startsWith(ready); }, 10000);
    return serving ? quint16(model.serverStatus().mid(ready.size()).section(u'.', 0, 0).toUInt()) : 0;
}

} // namespace

// The model behind the window and the headless console, over a temporary home, recording MIDI
// outputs and loopback listeners: what the DJ reads after each action and what a phone leaves behind.
class ConnectorModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headlessConsole_printsEachStateOnce()
    {
        CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty(), u"zbarimg"_s);
        ConnectorTestEnvironment test;
        test.localAddress.reset();
        const std::unique_ptr<FILE, int (*)(FILE *)> output(std::tmpfile(), &std::fclose);
        QStringList expected;
        {
            ConnectorModel model(test.make());
            HeadlessConsole console(model, output.get());
            expected << u"Starting Serato DJ Pro mode…"_s << u"Pairing code: "_s + model.pairingCode()
                     << u"Virtual MIDI device ready"_s;
            QVERIFY(servingPort(model) != 0);
            expected << model.serverStatus();
            // Nothing to copy or draw before the address is known; refreshes repeat nothing.
            model.copyAddress();
            model.sendTestCommand(RemoteCommand::stop);
            test.localAddress = u"10.0.0.7"_s;
            model.sendTestCommand(RemoteCommand::stop);
            // The code drawn in the terminal and the one in the window read back as the pairing link.
            const QString link =
                u"tarvikdjremote://pair?platform=serato&address=http://10.0.0.7:53731&code="_s
                + model.pairingCode();
            QCOMPARE(decodedByZbar(model.pairingQRCode()), link);
            QCOMPARE(decodedByZbar(pictureOfPrintedCode(printed(output.get()))), link);
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

            // Regression: settings that never reached the disk were reported as saved, and nothing told the
            // DJ. A folder where the file should be; the warning and its end are printed once each.
            const QString file = test.fixture.settingsFilePath();
            QVERIFY(QFile::remove(file) && QDir().mkdir(file));
            model.setWeddingScript(u"Vows"_s);
            model.saveWeddingScript();
            const QString warning = u"Settings cannot be saved: "_s + file
                                    + u". Pairings and the wedding script will be lost when the "
                                      u"connector stops."_s;
            QTRY_COMPARE(model.settingsWarning(), warning);
            QCOMPARE(model.weddingScript(), u"Vows"_s);
            QVERIFY(QDir().rmdir(file));
            model.saveWeddingScript();
            QTRY_COMPARE(model.lastCommand(), u"SERATO wedding script updated for paired devices."_s);
            const QString failed = u"The wedding script could not be saved on this computer."_s;
            expected << failed << warning
                     << u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s
                     << u"Settings are saved again."_s << model.lastCommand();
        }
        // Each drawn QR code counts as one line "QR code".
        const QRegularExpression drawnCode(u"(^["_s + kBlocks + u"]+\n)+"_s,
                                           QRegularExpression::MultilineOption);
        QCOMPARE(printed(output.get()).replace(drawnCode, u"QR code\n"_s).split(u'\n', Qt::SkipEmptyParts),
                 expected);
    }

    // What the window and its activity view show as a phone and the DJ act; what the next start remembers.
    void actions_reportWhatHappenedAndAreRemembered()
    {
        ConnectorTestEnvironment test;
        ConnectorEnvironment environment = test.make();
        environment.activityLog = std::make_shared<ActivityLog>(test.fixture.path(u"state/activity.log"_s));
        ConnectorModel model(std::move(environment));
        const QString seratoCode = model.pairingCode();
        const quint16 port = servingPort(model);
        const QString token = pairOverLoopback(port, seratoCode);
        loopbackRequest(port, "POST /api/command", R"({"command":"play","deck":"left"})", token);
        loopbackRequest(port, "POST /api/pair", R"({"code":"x"})");
        loopbackRequest(port, "POST /api/script", R"({"script":"Vows"})", token);
        QTRY_COMPARE(model.connectedDevices(), 1);
        const QVariantMap device = model.devices().value(0).toMap();
        QCOMPARE(QStringList({device.value(u"name"_s).toString(), device.value(u"address"_s).toString(),
                              device.value(u"presence"_s).toString()}),
                 QStringList({u"Tarvik DJ Remote"_s, u"127.0.0.1"_s, u"Connected"_s}));
        model.forgetDevice(device.value(u"id"_s).toString());
        QCOMPARE(model.devices().size(), 0);
        QCOMPARE(model.connectedDevices(), 0);
        QCOMPARE(loopbackRequest(port, "GET /api/status", {}, token).status, 401);
        model.setSelectedTestDeck(DeckSide::right);
        model.sendTestCommand(u"play"_s);
        QCOMPARE(model.rightState(), u"playing"_s);

        // The activity view, newest first, without the token or the code.
        QTRY_COMPARE(model.activityEntries().size(), 7);
        QStringList kinds;
        for (const QVariant &entry : model.activityEntries())
            kinds.prepend(entry.toMap().value(u"kind"_s).toString());
        QCOMPARE(kinds, (QStringList{u"midi"_s, u"pairing"_s, u"command"_s, u"wrongcode"_s, u"script"_s,
                                     u"forget"_s, u"command"_s}));
        const QVariantMap played = model.activityEntries().value(4).toMap();
        QCOMPARE(played.value(u"message"_s), u"Play sent to SERATO left deck."_s);
        QVERIFY(played.value(u"device"_s).toString().startsWith(u"Tarvik DJ Remote 127.0.0.1 "_s));
        QCOMPARE(model.activityEntries().value(0).toMap().value(u"device"_s), u"window"_s);
        const QByteArray shown = QJsonDocument::fromVariant(model.activityEntries()).toJson();
        QVERIFY(!shown.contains(token.toUtf8()) && !shown.contains(seratoCode.toUtf8()));

        model.sendSeratoMappingPulse(u"load"_s, u"left"_s);
        QCOMPARE(model.lastCommand(), u"Serato mapping pulse sent for Left Load Track."_s);
        model.setWeddingScript(u"  [CUE] First dance  \n"_s);
        model.saveWeddingScript();
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
        QCOMPARE(model.lastCommand(),
                 u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. "
                 u"Quit and reopen VirtualDJ once."_s);
        // Not registered: looked for at the usual path, and the DJ reads why it did not open.
        model.launchDJSoftware();
        QCOMPARE(model.lastCommand(), u"VirtualDJ was not found in Applications."_s);
        test.launcher->existingPaths << u"/Applications/VirtualDJ.app"_s;
        test.launcher->openError = u"Permission denied"_s;
        model.launchDJSoftware();
        QCOMPARE(test.launcher->opened, QStringList{u"/Applications/VirtualDJ.app"_s});
        QTRY_COMPARE(model.lastCommand(), u"The DJ software could not open: Permission denied"_s);

        test.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{u"A"_s});
        ConnectorModel restarted(test.make());
        QCOMPARE(restarted.selectedPlatform(), DJPlatform::virtualDJ);
        restarted.choosePlatform(DJPlatform::serato);
        QCOMPARE(restarted.pairingCode(), seratoCode);
        restarted.saveWeddingScript();
        QCOMPARE(restarted.lastCommand(), u"Wedding script saved for paired devices."_s);
    }

    void updateCheck_showsWhatThePublishedManifestSays();
};

// Outside the class: within one, moc takes the "//" inside these raw strings for a comment.
void ConnectorModelTest::updateCheck_showsWhatThePublishedManifestSays()
{
    QByteArray response; // to every request; none while empty
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, &response] {
            socket->readAll();
            if (!response.isEmpty()) {
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

    // The status (0: no answer at all), the manifest, and the message and download link shown.
    const QByteArray newer = R"({"version":"1.0.7","build":9,"download_url":"https://t.example/d"})";
    const QString upToDate = u"Tarvik DJ Connector is up to date. "_s;
    const QString failed = u"Update information is not published yet. "_s;
    const std::tuple<int, QByteArray, QString> checks[] = {
        {200, newer, u"Version 1.0.7 is available. https://t.example/d"_s},
        // Each check starts without the link of the one before.
        {200, R"({"version":"1.0.9","build":8,"download_url":"http://t.example/"})", upToDate},
        {200, R"({"version":"2.0","build":7,"download_url":"https://t.example/"})", upToDate},
        {200, R"({"version":"1","build":"9","download_url":"https://t.example/"})", failed},
        {200, R"({"version":"1","build":9.5,"download_url":"https://t.example/"})", failed},
        {200, R"({"version":"1.0.7","build":9})", failed},
        {200, R"({"version":"1","build":9,"download_url":"tarvik://run"})", failed},
        {200, "[1,2]", failed},
        // Qt reports 4xx and 5xx as errors itself, but not a 3xx it does not follow.
        {300, newer, failed},
        {0, {}, failed}};
    for (const auto &[status, body, shown] : checks) {
        response = status == 0 ? QByteArray()
                               : "HTTP/1.1 " + QByteArray::number(status)
                                     + " X\r\nContent-Length: " + QByteArray::number(body.size())
                                     + "\r\nConnection: close\r\n\r\n" + body;
        model.checkForUpdates();
        QCOMPARE(model.updateMessage() + model.downloadUpdateURL().toString(), u"Checking for updates…"_s);
        QVERIFY(model.isCheckingForUpdates() && finished.wait(10000));
        QCOMPARE(finished.takeFirst().value(0).toBool(), shown != failed);
        QCOMPARE(model.updateMessage() + u' ' + model.downloadUpdateURL().toString(), shown);
    }
}

QTEST_GUILESS_MAIN(ConnectorModelTest)
#include "tst_connectormodel.moc"
