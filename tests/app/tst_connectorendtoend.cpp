#include "support/servicerequirement.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// One request on a fresh loopback connection, as the phone sends it: the status and the JSON body.
std::pair<int, QJsonObject> request(quint16 port, const QByteArray &methodAndPath,
                                    const QByteArray &body = {}, const QString &token = {})
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(10000))
        return {};
    QByteArray message = methodAndPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        message += "Authorization: Bearer " + token.toUtf8() + "\r\n";
    socket.write(message + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    answer += socket.readAll();
    return {answer.split(' ').value(1).toInt(),
            QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object()};
}

// The connector binary in a temporary home, without a display.
class Connector
{
public:
    explicit Connector(const QString &home)
    {
        m_environment.insert(u"HOME"_s, home);
        m_environment.insert(u"XDG_CONFIG_HOME"_s, home + u"/.config"_s);
        m_environment.insert(u"XDG_DATA_HOME"_s, home + u"/.local/share"_s);
        m_environment.remove(u"DISPLAY"_s);
        m_environment.remove(u"WAYLAND_DISPLAY"_s);
        // Its diagnostics (ALSA, sanitizers) go to the test's log instead of filling a pipe.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Connector() { stop(); }

    bool start(const QStringList &arguments)
    {
        m_process.setProcessEnvironment(m_environment);
        m_process.start(qEnvironmentVariable("CONNECTOR_BINARY"), QStringList{u"--headless"_s} + arguments);
        m_output.clear();
        return m_process.waitForStarted(10000);
    }

    // Waits for a line from `firstLine` on that matches; its first group, or the whole line. Generous:
    // a sanitizer build on a loaded machine starts slowly.
    QString waitForLine(const QString &pattern, qsizetype firstLine = 0)
    {
        const QRegularExpression expression(pattern);
        for (QDeadlineTimer deadline(90000); !deadline.hasExpired();) {
            const QStringList lines = m_output.split(u'\n');
            for (qsizetype line = firstLine; line + 1 < lines.size(); ++line) {
                const QRegularExpressionMatch match = expression.match(lines[line]);
                if (match.hasMatch())
                    return match.captured(match.lastCapturedIndex());
            }
            if (m_process.state() == QProcess::NotRunning)
                break;
            m_process.waitForReadyRead(200);
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        }
        qWarning("no line matching %s in:\n%s", qPrintable(pattern), qPrintable(m_output));
        return {};
    }

    // The complete lines read so far.
    qsizetype lineCount() const { return m_output.count(u'\n'); }

    // A one-shot run to its end: the exit code and what it printed on both channels.
    std::pair<int, QString> runToEnd(const QStringList &arguments, const QString &home = {})
    {
        QProcess process;
        QProcessEnvironment environment = m_environment;
        if (!home.isEmpty())
            environment.insert(u"HOME"_s, home);
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("CONNECTOR_BINARY"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, {}};
        return {
            process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed()};
    }

    // SIGTERM, as a service manager stops it; the exit code of a clean stop.
    int stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitCode();
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(60000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_process;
    QString m_output;
};

// A JACK server of the test's own (dummy driver), found by the processes that get its name through
// JACK_DEFAULT_SERVER; the shared server is left alone.
class PrivateJackServer
{
public:
    explicit PrivateJackServer(const QString &name)
        : m_name(name)
    {}
    ~PrivateJackServer() { stop(); }

    bool start()
    {
        m_process.start(u"jackd"_s, {u"--no-realtime"_s, u"-n"_s, m_name, u"-d"_s, u"dummy"_s, u"-r"_s,
                                     u"48000"_s, u"-p"_s, u"64"_s});
        if (!m_process.waitForStarted(10000))
            return false;
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (ports())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(30000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // The server's port names; none while it does not answer.
    std::optional<QStringList> ports() const
    {
        QProcess lister;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"JACK_DEFAULT_SERVER"_s, m_name);
        lister.setProcessEnvironment(environment);
        lister.start(u"jack_lsp"_s, {});
        if (!lister.waitForFinished(10000) || lister.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(lister.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QString m_name;
    QProcess m_process;
};

} // namespace

// The real binary, headless on the platforms' fixed ports and run once for its one-shot options.
class ConnectorEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headless_pairsDrivesPersistsAndSwitchesPlatform();
    void oneShots_printTheirOutcomeAndExitStatus();
    void midiSystemRestart_waitsThenRecreatesTheSameSource();
};

void ConnectorEndToEndTest::headless_pairsDrivesPersistsAndSwitchesPlatform()
{
    QTemporaryDir home;
    Connector connector(home.path());
    QVERIFY(connector.start({}));
    QVERIFY(!connector.waitForLine(u"^Ready on private network port 53731"_s).isEmpty());
    const QString code = connector.waitForLine(u"^Pairing code: (\\d{6})$"_s);
    QVERIFY(!connector.waitForLine(u"^(Virtual MIDI device ready|.*could not.*)$"_s).isEmpty());

    QCOMPARE(request(53731, "POST /api/pair", R"({"code":"abcdef"})").first, 403);
    const auto [status, paired] =
        request(53731, "POST /api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson());
    QCOMPARE(status, 200);
    const QString token = paired.value(u"token"_s).toString();
    const auto played = request(53731, "POST /api/command", R"({"command":"play","deck":"left"})", token);
    QCOMPARE(played.second.value(u"expectedState"_s).toString(), u"playing"_s);
    QVERIFY(!connector.waitForLine(u"^Play sent to SERATO left deck\\.$"_s).isEmpty());
    QCOMPARE(connector.stop(), 0);

    // A restart keeps the code and the paired device.
    QVERIFY(connector.start({}));
    QVERIFY(!connector.waitForLine(u"^Ready on private network port 53731"_s).isEmpty());
    QCOMPARE(connector.waitForLine(u"^Pairing code: (\\d{6})$"_s), code);
    QCOMPARE(request(53731, "GET /api/status", {}, token).second.value(u"pairedDevices"_s).toInt(), 1);
    QCOMPARE(connector.stop(), 0);

    // The other platform listens on its own port, with its own pairing.
    QVERIFY(connector.start({u"--platform"_s, u"virtualDJ"_s}));
    QVERIFY(!connector.waitForLine(u"^Ready on private network port 53732"_s).isEmpty());
    QCOMPARE(request(53732, "GET /api/status", {}, token).first, 401);
    QCOMPARE(connector.stop(), 0);
}

void ConnectorEndToEndTest::oneShots_printTheirOutcomeAndExitStatus()
{
    QTemporaryDir home;
    Connector connector(home.path());
    QVERIFY(connector.start({}));
    const QString code = connector.waitForLine(u"^Pairing code: (\\d{6})$"_s);
    QVERIFY(!code.isEmpty());

    // Beside the running connector, which goes on pairing undisturbed.
    using Run = std::pair<int, QString>;
    QCOMPARE(connector.runToEnd({u"--install-mapping"_s}),
             Run(0, u"Serato preset installed. In Setup → MIDI, enable Tarvik DJ Connector Serato and "
                    u"select Tarvik Remote."_s));
    QVERIFY(QFile::exists(home.filePath(u"Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s)));
    QCOMPARE(connector.runToEnd({u"--platform"_s, u"virtualDJ"_s, u"--install-mapping"_s}),
             Run(0, u"VirtualDJ mapping installed. Open VirtualDJ when ready."_s));
    QVERIFY(QFile::exists(home.filePath(u".local/share/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s)));
    QCOMPARE(request(53731, "POST /api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson()).first,
             200);
    QCOMPARE(connector.stop(), 0);

    // A home that is a file: the preset folder cannot be made.
    const QString blocked = home.filePath(u"blocked"_s);
    QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
    const Run failed = connector.runToEnd({u"--platform=serato"_s, u"--install-mapping"_s}, blocked);
    QCOMPARE(failed.first, 1);
    QVERIFY2(failed.second.startsWith(u"Serato preset could not be installed: Could not create the folder"_s),
             qPrintable(failed.second));
    QCOMPARE(connector.runToEnd({u"--version"_s}), Run(0, u"Tarvik DJ Connector 1.0.6 (8)"_s));
    QCOMPARE(connector.runToEnd({u"--platform"_s, u"traktor"_s}),
             Run(2, u"Unknown platform \"traktor\": use serato or virtualDJ."_s));
    QCOMPARE(connector.runToEnd({u"--headless"_s, u"serato"_s}), Run(2, u"Unexpected argument: serato"_s));
}

void ConnectorEndToEndTest::midiSystemRestart_waitsThenRecreatesTheSameSource()
{
    CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"jackd"_s).isEmpty(), u"jackd"_s);
    if (QFile::exists(u"/dev/snd/seq"_s))
        QSKIP("this machine has an ALSA sequencer, which the connector prefers to JACK");
    const QString serverName = u"tarvik-restart-"_s + QString::number(QCoreApplication::applicationPid());
    const QString sourcePort = u"Tarvik DJ Connector - Serato Client:Tarvik DJ Connector Serato"_s;
    const QString destinationPort = u"Tarvik DJ Connector - Serato Client Input:Tarvik DJ Connector Serato"_s;
    const QString ready = u"^Virtual MIDI device ready$"_s;
    PrivateJackServer jack(serverName);
    CONNECTOR_REQUIRE_SERVICE(jack.start(), u"a JACK server of the test's own (jackd -n)"_s);

    QTemporaryDir home;
    // The connector takes the environment it is made in.
    qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
    Connector connector(home.path());
    qunsetenv("JACK_DEFAULT_SERVER");
    QVERIFY(connector.start({}));
    const QString code = connector.waitForLine(u"^Pairing code: (\\d{6})$"_s);
    QVERIFY(!connector.waitForLine(u"^Ready on private network port 53731"_s).isEmpty());
    QVERIFY(!connector.waitForLine(ready).isEmpty());
    QVERIFY(jack.ports().value_or(QStringList()).contains(sourcePort));
    const QString token =
        request(53731, "POST /api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson())
            .second.value(u"token"_s)
            .toString();
    QCOMPARE(token.size(), 32);

    jack.stop();
    QVERIFY(!connector.waitForLine(u"^The MIDI system stopped\\. Waiting for it to come back…$"_s).isEmpty());
    // Meanwhile commands are answered as by a connector without a virtual source.
    const auto played = request(53731, "POST /api/command", R"({"command":"play","deck":"left"})", token);
    QCOMPARE(played.first, 200);
    QCOMPARE(played.second.value(u"expectedState"_s).toString(), u"playing"_s);

    const qsizetype linesBeforeRestart = connector.lineCount();
    QVERIFY(jack.start());
    QVERIFY(!connector.waitForLine(ready, linesBeforeRestart).isEmpty());
    // The same source and destination again, once: the old clients are gone, not renamed beside new ones.
    QStringList connectorPorts = jack.ports().value_or(QStringList()).filter(u"Tarvik DJ Connector"_s);
    connectorPorts.sort();
    QCOMPARE(connectorPorts, (QStringList{destinationPort, sourcePort}));
    QCOMPARE(connector.stop(), 0);
}

QTEST_GUILESS_MAIN(ConnectorEndToEndTest)
#include "tst_connectorendtoend.moc"
