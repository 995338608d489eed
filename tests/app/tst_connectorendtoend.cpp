#include "support/connectorprocess.h"
#include "support/servicerequirement.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kPlay = R"({"command":"play","deck":"left"})";

// Starts the connector and waits until it serves on the port; its pairing code, or empty.
QString startServing(ConnectorProcess &connector, const QStringList &arguments = {}, int port = 53731)
{
    if (!connector.start(arguments)
        || connector.waitForLine(u"^Ready on private network port %1"_s.arg(port)).isEmpty())
        return {};
    return connector.waitForLine(u"^Pairing code: (\\d{6})$"_s);
}

// The ports on the JACK server JACK_DEFAULT_SERVER names that contain `part`, sorted; none while it is down.
QStringList jackPorts(const QString &part = {})
{
    QProcess lister;
    lister.start(u"jack_lsp"_s, {});
    lister.waitForFinished(10000);
    QStringList names = QString::fromUtf8(lister.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    names.sort();
    return names.filter(part);
}

} // namespace

// The real binary, headless on the platforms' fixed ports.
class ConnectorEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One connector through a DJ's evening: pairing, a command, a one-shot beside it, fifty kills at random
    // moments while the phone saves the wedding script and pairs more devices, a second launch and another
    // home's connector. Regression: the script and its revision were written through a settings object
    // synced on another thread, so a kill could leave a text on disk under another save's revision.
    void headless_servesSurvivesKillsAndHandsOverSecondLaunches()
    {
        QTemporaryDir home;
        ConnectorProcess connector(home.path());
        const QString code = startServing(connector);
        QStringList tokens{pairOverLoopback(53731, code)};
        loopbackRequest(53731, "POST /api/command", kPlay, tokens.first());
        QVERIFY(!connector.waitForLine(u"^Play sent to SERATO left deck\\.$"_s).isEmpty());
        // A one-shot beside it opens no listener and hands nothing over.
        const QString installed =
            u"Serato preset installed. In Setup → MIDI, enable Tarvik DJ Connector Serato "
            u"and select Tarvik Remote."_s;
        QCOMPARE(connector.run({u"--install-mapping"_s}), std::pair(0, installed));
        QCOMPARE(loopbackRequest(53731, "GET /api/status", {}, tokens.first()).status, 200);

        std::pair<qint64, QString> acknowledged; // the revision and text of the last answered save
        int save = 0;
        for (int kill = 1; kill <= 50; ++kill) {
            const auto delay = std::chrono::milliseconds(QRandomGenerator::global()->bounded(300));
            std::thread killer([pid = connector.pid(), delay] {
                std::this_thread::sleep_for(delay);
                ::kill(pid_t(pid), SIGKILL);
            });
            // Sent but not answered when the connector died: it may have landed whole, or not at all.
            QString unacknowledged;
            while (true) {
                const QString text = u"Save %1\n[CUE] Cake"_s.arg(++save);
                const LoopbackAnswer saved =
                    loopbackRequest(53731, "POST /api/script",
                                    QJsonDocument(QJsonObject{{u"script"_s, text}}).toJson(), tokens.first());
                if (saved.status != 200) {
                    unacknowledged = text;
                    break;
                }
                acknowledged = {saved.body.value(u"revision"_s).toInteger(), text};
                // Every fourth save pairs one more device; a refused pairing ends the round.
                if (save % 4 == 0 && (tokens << pairOverLoopback(53731, code)).last().isEmpty()) {
                    tokens.removeLast();
                    break;
                }
            }
            killer.join();
            QCOMPARE(connector.stop(SIGKILL), -1);
            // The socket file a killed connector leaves behind must not pass for a running one.
            QVERIFY(!QDir(home.filePath(u"runtime"_s)).isEmpty(QDir::System | QDir::NoDotAndDotDot));
            QCOMPARE(startServing(connector), code);
            const LoopbackAnswer read = loopbackRequest(53731, "GET /api/script", {}, tokens.first());
            const std::pair stored{read.body.value(u"revision"_s).toInteger(),
                                   read.body.value(u"script"_s).toString()};
            const bool laterSave = stored.first > acknowledged.first && stored.second == unacknowledged;
            QVERIFY2(stored == acknowledged || laterSave,
                     qPrintable(u"kill %1: read %2; acknowledged %3"_s.arg(kill).arg(stored.second,
                                                                                     acknowledged.second)));
            acknowledged = stored;
            for (const QString &token : std::as_const(tokens))
                QVERIFY2(loopbackRequest(53731, "GET /api/status", {}, token).status == 200,
                         qPrintable(token));
        }
        // The next save clears away what the killed writers left beside the file.
        QCOMPARE(loopbackRequest(53731, "POST /api/script", R"({"script":"Last"})", tokens.first()).status,
                 200);
        QStringList left = QDir(home.filePath(u".config/Tarvik"_s)).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(u"DJ Connector.conf.lock"_s);
        QCOMPARE(left, QStringList{u"DJ Connector.conf"_s});

        // The restarted connector took the socket over, so a second launch is handed over to it.
        QCOMPARE(connector.run({u"--headless"_s}),
                 std::pair(0, u"Tarvik DJ Connector is already running."_s));
        const QString handedOver =
            u"^Another launch asked for the window; this connector runs without one\\.$"_s;
        QVERIFY(!connector.waitForLine(handedOver).isEmpty());
        // Another home is another connector: it starts on its own, here on the other platform's port.
        QTemporaryDir otherHome;
        ConnectorProcess other(otherHome.path());
        QVERIFY(!startServing(other, {u"--platform"_s, u"virtualDJ"_s}, 53732).isEmpty());
        QCOMPARE(loopbackRequest(53732, "GET /api/status", {}, tokens.first()).status, 401);
        QCOMPARE(connector.stop(), 0);
        QCOMPARE(other.stop(), 0);
    }

    void oneShot_printsItsOutcomeAndExitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // how the output starts
        const auto row = [](const char *arguments, int exitCode, const QString &printed) {
            QTest::newRow(arguments) << QString::fromUtf8(arguments).split(u' ') << exitCode << printed;
        };
        row("--version", 0, u"Tarvik DJ Connector 1.0.6 (8)"_s);
        row("--help", 0, u"Usage: tarvik-dj-connector [options]\n"_s);
        row("--platform virtualDJ --install-mapping", 0,
            u"VirtualDJ mapping installed. Open VirtualDJ when ready."_s);
        row("--install-mapping", 1, u"Serato preset could not be installed: Could not create the folder"_s);
        row("--platform=virtualdj", 2, u"Unknown platform \"virtualdj\": use serato or virtualDJ."_s);
        row("--headless serato", 2, u"Unexpected argument: serato"_s);
        row("--install-mapping --check-for-updates", 2,
            u"Choose one of --install-mapping and --check-for-updates."_s);
        row("--fast", 2, u"Unknown option 'fast'."_s);
    }

    void oneShot_printsItsOutcomeAndExitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        // Music is a file in every home here, so a Serato preset has nowhere to go.
        QTemporaryDir home;
        QVERIFY(QFile(home.filePath(u"Music"_s)).open(QIODevice::WriteOnly));
        const auto [exited, output] = ConnectorProcess(home.path()).run(arguments);
        QCOMPARE(std::pair(exited, output.left(printed.size())), std::pair(exitCode, printed));
    }

    void midiSystemRestart_waitsThenRecreatesTheSameSource()
    {
        CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"jackd"_s).isEmpty(), u"jackd"_s);
        if (QFile::exists(u"/dev/snd/seq"_s))
            QSKIP("this machine has an ALSA sequencer, which the connector prefers to JACK");
        // A JACK server of the test's own (dummy driver) for jack_lsp and the connector, not the shared one.
        const QString serverName = u"tarvik-restart-"_s + QString::number(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
        const auto sharedServerAgain = qScopeGuard([] { qunsetenv("JACK_DEFAULT_SERVER"); });
        QProcess jack;
        const auto startJack = [&] {
            jack.start(u"jackd"_s,
                       {u"--no-realtime"_s, u"-n"_s, serverName, u"-d"_s, u"dummy"_s, u"-p"_s, u"64"_s});
            // Its system ports answer once it runs.
            return jack.waitForStarted(10000)
                   && QTest::qWaitFor([] { return !jackPorts().isEmpty(); }, 20000);
        };
        CONNECTOR_REQUIRE_SERVICE(startJack(), u"a JACK server of the test's own (jackd -n)"_s);
        const QStringList connectorPorts{
            u"Tarvik DJ Connector - Serato Client Input:Tarvik DJ Connector Serato"_s,
            u"Tarvik DJ Connector - Serato Client:Tarvik DJ Connector Serato"_s};
        const QString ready = u"^Virtual MIDI device ready$"_s;
        QTemporaryDir home;
        ConnectorProcess connector(home.path());
        const QString token = pairOverLoopback(53731, startServing(connector));
        QVERIFY(!connector.waitForLine(ready).isEmpty());
        QCOMPARE(jackPorts(u"Tarvik DJ Connector"_s), connectorPorts);

        jack.terminate();
        QVERIFY(jack.waitForFinished(30000));
        QVERIFY(
            !connector.waitForLine(u"^The MIDI system stopped\\. Waiting for it to come back…$"_s).isEmpty());
        // Meanwhile commands are answered as by a connector without a virtual source.
        QCOMPARE(loopbackRequest(53731, "POST /api/command", kPlay, token).body.value(u"expectedState"_s),
                 u"playing"_s);

        const qsizetype linesBeforeRestart = connector.lineCount();
        QVERIFY(startJack());
        QVERIFY(!connector.waitForLine(ready, linesBeforeRestart).isEmpty());
        // The same source and destination again, once: the old clients are gone, not renamed beside new ones.
        QCOMPARE(jackPorts(u"Tarvik DJ Connector"_s), connectorPorts);
        QCOMPARE(connector.stop(), 0);
        jack.terminate();
        QVERIFY(jack.waitForFinished(30000));
    }
};

QTEST_GUILESS_MAIN(ConnectorEndToEndTest)
#include "tst_connectorendtoend.moc"
