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

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

File temporaryFile()
{
    return {std::tmpfile(), &std::fclose};
}

const QString kDrawnLine = u"^[ \u2580\u2584\u2588]+$"_s;

// Everything a headless console printed.
QString printed(FILE *output)
{
    std::rewind(output);
    QFile file;
    return file.open(output, QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"unreadable"_s;
}

// What it printed line by line, each drawn QR code as one line "QR code".
QStringList printedLines(FILE *output)
{
    const QRegularExpression drawnCode(u"("_s + kDrawnLine + u"\n)+"_s, QRegularExpression::MultilineOption);
    return printed(output).replace(drawnCode, u"QR code\n"_s).split(u'\n', Qt::SkipEmptyParts);
}

// Decodes a picture with the real zbar decoder; empty when zbarimg finds no symbol.
QString decodeWithZbar(const QImage &image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"code.png"_s);
    QProcess zbar;
    if (image.save(file))
        zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, file});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0)
        return {};
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// Paints terminal lines back into a picture of 8-pixel modules within a light margin: light where a
// half block is drawn, as the usual light-on-dark terminal shows them.
QImage pictureOfTerminalLines(const QStringList &lines)
{
    QImage modules(int(lines.constFirst().size()) + 8, int(lines.size()) * 2 + 8, QImage::Format_Grayscale8);
    modules.fill(Qt::white);
    for (int row = 0; row < lines.size(); ++row) {
        for (int column = 0; column < lines[row].size(); ++column) {
            const QChar c = lines[row][column];
            modules.setPixelColor(column + 4, row * 2 + 4,
                                  c == u'\u2588' || c == u'\u2580' ? Qt::white : Qt::black);
            modules.setPixelColor(column + 4, row * 2 + 5,
                                  c == u'\u2588' || c == u'\u2584' ? Qt::white : Qt::black);
        }
    }
    return modules.scaled(modules.size() * 8);
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
        ConnectorTestEnvironment test;
        test.localAddress.reset();
        ConnectorEnvironment environment = test.make();
        const QString folder = test.fixture.path(u"settings"_s);
        environment.settings = std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
        const File output = temporaryFile();
        QStringList expected;
        {
            ConnectorModel model(std::move(environment));
            HeadlessConsole console(model, output.get());
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

            // Regression: settings that never reached the disk were reported as saved, and nothing told the
            // DJ. The warning and its end are printed once each.
            QVERIFY(QDir(folder).removeRecursively() && QFile(folder).open(QIODevice::WriteOnly));
            model.setWeddingScript(u"Vows"_s);
            model.saveWeddingScript();
            model.saveWeddingScript();
            const QString warning = u"Settings cannot be saved: "_s + folder
                                    + u"/settings.ini. Pairings and the wedding script will be lost when the "
                                      u"connector stops."_s;
            QTRY_COMPARE(model.settingsWarning(), warning);
            QCOMPARE(model.weddingScript(), u"Vows"_s);
            QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
            model.saveWeddingScript();
            QTRY_COMPARE(model.lastCommand(), u"SERATO wedding script updated for paired devices."_s);
            const QString failed = u"The wedding script could not be saved on this computer."_s;
            expected << failed << failed << warning
                     << u"Wedding script saved. It will sync after an iPhone or iPad pairs."_s
                     << u"Settings are saved again."_s << model.lastCommand();
        }
        QCOMPARE(printedLines(output.get()), expected);
    }

    // The pairing QR code as the window draws it and as the terminal prints it, read by a real decoder.
    void pairingQRCode_readsBackAsThePairingLink()
    {
        CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty(), u"zbarimg"_s);
        ConnectorTestEnvironment test;
        const File output = temporaryFile();
        ConnectorModel model(test.make());
        HeadlessConsole console(model, output.get());
        const QString link =
            u"tarvikdjremote://pair?platform=serato&address=http://192.168.1.20:53731&code="_s
            + model.pairingCode();
        QCOMPARE(decodeWithZbar(model.pairingQRCode()), link);
        QCOMPARE(decodeWithZbar(pictureOfTerminalLines(
                     printed(output.get()).split(u'\n').filter(QRegularExpression(kDrawnLine)))),
                 link);
    }

    void actions_reportWhatHappenedAndAreRemembered()
    {
        ConnectorTestEnvironment test;
        ConnectorModel model(test.make());
        const QString seratoCode = model.pairingCode();
        model.setSelectedTestDeck(DeckSide::right);
        model.sendTestCommand(u"play"_s);
        QCOMPARE(model.rightState(), u"playing"_s);
        model.sendSeratoMappingPulse(u"load"_s, u"left"_s);
        QCOMPARE(model.lastCommand(), u"Serato mapping pulse sent for Left Load Track."_s);
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
        QCOMPARE(model.lastCommand(),
                 u"VirtualDJ mapping updated. Previous Tarvik mapping files were backed up. "
                 u"Quit and reopen VirtualDJ once."_s);
        // The launcher finds it by identifier, else at the fallback path, else says so.
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

        test.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{u"A"_s});
        ConnectorModel restarted(test.make());
        QCOMPARE(restarted.selectedPlatform(), DJPlatform::virtualDJ);
        restarted.choosePlatform(DJPlatform::serato);
        QCOMPARE(restarted.pairingCode(), seratoCode);
        restarted.saveWeddingScript();
        QCOMPARE(restarted.lastCommand(), u"Wedding script saved for paired devices."_s);
    }

    void deviceActivity_listsTheDeviceAndLogsEveryEventWithoutSecrets()
    {
        ConnectorTestEnvironment test;
        ConnectorEnvironment environment = test.make();
        const QString logPath = test.fixture.path(u"state/activity.log"_s);
        environment.activityLog = std::make_shared<ActivityLog>(logPath);
        QString code;
        QString token;
        {
            ConnectorModel model(environment);
            QTRY_VERIFY_WITH_TIMEOUT(model.serverStatus().startsWith(u"Ready on private network port "_s),
                                     10000);
            const auto port = quint16(
                QRegularExpression(u"port (\\d+)"_s).match(model.serverStatus()).captured(1).toUInt());
            code = model.pairingCode();
            token = pairOverLoopback(port, code);
            QCOMPARE(loopbackRequest(port, "POST /api/command", R"({"command":"play","deck":"left"})", token)
                         .status,
                     200);
            QCOMPARE(loopbackRequest(port, "POST /api/pair", R"({"code":"x"})").status, 403);
            const QJsonObject body{{u"script"_s, u"Vows by the lake\n[CUE] First dance"_s}};
            QCOMPARE(loopbackRequest(port, "POST /api/script", QJsonDocument(body).toJson(), token).status,
                     200);

            QTRY_COMPARE(model.connectedDevices(), 1);
            const QVariantMap device = model.devices().value(0).toMap();
            QCOMPARE(QStringList({device.value(u"name"_s).toString(), device.value(u"address"_s).toString(),
                                  device.value(u"presence"_s).toString()}),
                     QStringList({u"Tarvik DJ Remote"_s, u"127.0.0.1"_s, u"Connected"_s}));
            model.forgetDevice(device.value(u"id"_s).toString());
            QCOMPARE(model.devices().size(), 0);
            QCOMPARE(model.connectedDevices(), 0);
            QCOMPARE(loopbackRequest(port, "GET /api/status", {}, token).status, 401);
            model.sendTestCommand(u"stop"_s);
            QTRY_COMPARE(model.activityEntries().size(), 7);
            QCOMPARE(model.activityEntries().value(0).toMap().value(u"device"_s), u"window"_s);
        }
        // Its release writes what is still queued.
        environment.activityLog.reset();

        QFile file(logPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(file.readAll());
        QStringList kinds;
        for (const QString &line : log.split(u'\n', Qt::SkipEmptyParts))
            kinds << line.section(u'\t', 1, 1);
        QCOMPARE(kinds, (QStringList{u"midi"_s, u"pairing"_s, u"command"_s, u"wrongcode"_s, u"script"_s,
                                     u"forget"_s, u"command"_s}));
        QVERIFY(log.contains(u"\tcommand\tPlay sent to SERATO left deck.\tTarvik DJ Remote 127.0.0.1 "_s));
        QVERIFY(!log.contains(token) && !log.contains(code) && !log.contains(u"lake"_s)
                && !log.contains(u"First dance"_s));
    }

    void updateCheck_showsWhatThePublishedManifestSays_data();

    void updateCheck_showsWhatThePublishedManifestSays()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, shown);
        const QByteArray response = "HTTP/1.1 " + QByteArray::number(status)
                                    + " X\r\nContent-Length: " + QByteArray::number(body.size())
                                    + "\r\nConnection: close\r\n\r\n" + body;
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
            QCOMPARE(model.updateMessage() + model.downloadUpdateURL().toString(),
                     u"Checking for updates…"_s);
            QVERIFY(finished.wait(10000));
            QCOMPARE(finished.takeFirst().value(0).toBool(), !shown.isEmpty());
            QCOMPARE(model.updateMessage() + u' ' + model.downloadUpdateURL().toString(),
                     shown.isEmpty() ? u"Update information is not published yet. "_s : shown);
            QVERIFY(!model.isCheckingForUpdates());
        }
    }
};

// Outside the class: within one, moc takes the "//" inside these raw strings for a comment.
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
    row("file link", 200, R"({"version":"1","build":9,"download_url":"file:///etc/passwd"})", {});
    row("custom scheme", 200, R"({"version":"1","build":9,"download_url":"tarvik://run"})", {});
    row("not an object", 200, "[1,2]", {});
    // Qt reports 4xx and 5xx as errors itself, but not a 3xx it does not follow.
    row("multiple choices", 300, newer, {});
    row("not found", 404, newer, {});
    row("no answer (timeout)", 0, {}, {});
}

QTEST_GUILESS_MAIN(ConnectorModelTest)
#include "tst_connectormodel.moc"
