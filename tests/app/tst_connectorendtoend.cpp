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

struct HttpAnswer
{
    int status = 0;
    QJsonObject body;
};

// One request on a fresh loopback connection, as the phone sends it.
HttpAnswer request(quint16 port, const QByteArray &method, const QByteArray &path,
                   const QByteArray &body = {}, const QString &token = {})
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(10000))
        return {};
    QByteArray message = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        message += "Authorization: Bearer " + token.toUtf8() + "\r\n";
    message += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    socket.write(message);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    answer += socket.readAll();
    const qsizetype split = answer.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    if (split < 0 || statusLine.size() < 2)
        return {};
    return {statusLine[1].toInt(), QJsonDocument::fromJson(answer.mid(split + 4)).object()};
}

// The connector binary run headless in a temporary home, with its output collected line by line.
class Connector
{
public:
    explicit Connector(const QString &home)
        : m_home(home)
    {}
    ~Connector() { stop(); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_home);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_home + u"/.config"_s);
        environment.insert(u"XDG_DATA_HOME"_s, m_home + u"/.local/share"_s);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        return environment;
    }

    bool start(const QStringList &arguments)
    {
        m_process.setProcessEnvironment(environment());
        m_process.setProgram(qEnvironmentVariable("CONNECTOR_BINARY"));
        // Its diagnostics (ALSA, sanitizers) go straight to the test's log instead of filling a pipe.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setArguments(QStringList{u"--headless"_s} + arguments);
        m_output.clear();
        m_process.start();
        return m_process.waitForStarted(10000);
    }

    // Waits until a line from `firstLine` on matches; returns the match's first group (or the whole
    // line). The limit is generous: a sanitizer build on a loaded machine starts slowly.
    QString waitForLine(const QRegularExpression &pattern, int timeoutMs = 90000, qsizetype firstLine = 0)
    {
        QDeadlineTimer deadline(timeoutMs);
        qsizetype searched = firstLine;
        while (true) {
            const QStringList lines = m_output.split(u'\n');
            for (qsizetype i = searched; i + 1 < lines.size(); ++i) {
                const QRegularExpressionMatch match = pattern.match(lines[i]);
                if (match.hasMatch())
                    return match.lastCapturedIndex() >= 1 ? match.captured(1) : lines[i];
            }
            searched = std::max<qsizetype>(searched, lines.size() - 1);
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            m_process.waitForReadyRead(200);
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        }
    }

    QString output() const { return m_output; }
    // The complete lines read so far.
    qsizetype lineCount() const { return m_output.count(u'\n'); }

    // Runs a one-shot command to its end; its exit code, with its output in `output`.
    int runToEnd(const QStringList &arguments, QString *output)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(qEnvironmentVariable("CONNECTOR_BINARY"), arguments);
        if (!process.waitForFinished(30000))
            return -1;
        *output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
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
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QString m_home;
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

class ConnectorEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headless_pairsDrivesPersistsAndSwitchesPlatform();
    void installMapping_runsOnceBesideARunningConnector();
    void midiSystemRestart_waitsThenRecreatesTheSameSource();
};

void ConnectorEndToEndTest::headless_pairsDrivesPersistsAndSwitchesPlatform()
{
    QTemporaryDir home;
    Connector connector(home.path());

    QVERIFY(connector.start({}));
    QVERIFY2(!connector.waitForLine(QRegularExpression(u"^Ready on private network port 53731"_s)).isEmpty(),
             qPrintable(connector.output()));
    const QString code = connector.waitForLine(QRegularExpression(u"^Pairing code: (\\d{6})$"_s));
    QVERIFY2(!code.isEmpty(), qPrintable(connector.output()));
    const QString midiLine = connector.waitForLine(
        QRegularExpression(u"^(Virtual MIDI device ready|.*could not start.*|.*could not be created.*)$"_s));
    QVERIFY2(!midiLine.isEmpty(), qPrintable(connector.output()));

    const HttpAnswer wrong = request(53731, "POST", "/api/pair", R"({"code":"abcdef"})");
    QCOMPARE(wrong.status, 403);
    const HttpAnswer paired =
        request(53731, "POST", "/api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson());
    QCOMPARE(paired.status, 200);
    const QString token = paired.body.value(u"token"_s).toString();
    QCOMPARE(token.size(), 32);

    const HttpAnswer played =
        request(53731, "POST", "/api/command", R"({"command":"play","deck":"left"})", token);
    QCOMPARE(played.status, 200);
    QCOMPARE(played.body.value(u"expectedState"_s).toString(), u"playing"_s);
    QVERIFY2(!connector.waitForLine(QRegularExpression(u"^Play sent to SERATO left deck\\.$"_s)).isEmpty(),
             qPrintable(connector.output()));
    QCOMPARE(connector.stop(), 0);

    // A restart keeps the paired device: its token still opens the status.
    QVERIFY(connector.start({}));
    QVERIFY(!connector.waitForLine(QRegularExpression(u"^Ready on private network port 53731"_s)).isEmpty());
    QCOMPARE(connector.waitForLine(QRegularExpression(u"^Pairing code: (\\d{6})$"_s)), code);
    const HttpAnswer status = request(53731, "GET", "/api/status", {}, token);
    QCOMPARE(status.status, 200);
    QCOMPARE(status.body.value(u"pairedDevices"_s).toInt(), 1);
    QCOMPARE(connector.stop(), 0);

    // The other platform listens on its own port, with its own pairing.
    QVERIFY(connector.start({u"--platform"_s, u"virtualDJ"_s}));
    QVERIFY2(!connector.waitForLine(QRegularExpression(u"^Ready on private network port 53732"_s)).isEmpty(),
             qPrintable(connector.output()));
    QCOMPARE(request(53732, "GET", "/api/status", {}, token).status, 401);
    QCOMPARE(connector.stop(), 0);
    QVERIFY(!connector.output().contains(u"53731"_s));
}

void ConnectorEndToEndTest::installMapping_runsOnceBesideARunningConnector()
{
    QTemporaryDir home;
    Connector connector(home.path());
    QVERIFY(connector.start({}));
    QVERIFY(!connector.waitForLine(QRegularExpression(u"^Ready on private network port 53731"_s)).isEmpty());
    const QString code = connector.waitForLine(QRegularExpression(u"^Pairing code: (\\d{6})$"_s));

    QString output;
    QCOMPARE(connector.runToEnd({u"--install-mapping"_s}, &output), 0);
    QCOMPARE(output.trimmed(),
             u"Serato preset installed. In Setup → MIDI, enable Tarvik DJ Connector Serato and "
             u"select Tarvik Remote."_s);
    QVERIFY(QFile::exists(home.filePath(u"Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"_s)));

    QCOMPARE(connector.runToEnd({u"--platform"_s, u"virtualDJ"_s, u"--install-mapping"_s}, &output), 0);
    QCOMPARE(output.trimmed(), u"VirtualDJ mapping installed. Open VirtualDJ when ready."_s);
    QVERIFY(QFile::exists(home.filePath(u".local/share/VirtualDJ/Mappers/Tarvik DJ Connector.xml"_s)));

    // The running connector was not disturbed: it still pairs on its port.
    const HttpAnswer paired =
        request(53731, "POST", "/api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson());
    QCOMPARE(paired.status, 200);
    QCOMPARE(connector.stop(), 0);

    QCOMPARE(connector.runToEnd({u"--platform"_s, u"traktor"_s}, &output), 2);
}

void ConnectorEndToEndTest::midiSystemRestart_waitsThenRecreatesTheSameSource()
{
    CONNECTOR_REQUIRE_SERVICE(!QStandardPaths::findExecutable(u"jackd"_s).isEmpty(), u"jackd"_s);
    if (QFile::exists(u"/dev/snd/seq"_s))
        QSKIP("this machine has an ALSA sequencer, which the connector prefers to JACK");
    const QString serverName = u"tarvik-restart-"_s + QString::number(QCoreApplication::applicationPid());
    const QString sourcePort = u"Tarvik DJ Connector - Serato Client:Tarvik DJ Connector Serato"_s;
    const QRegularExpression ready(u"^Virtual MIDI device ready$"_s);
    PrivateJackServer jack(serverName);
    CONNECTOR_REQUIRE_SERVICE(jack.start(), u"a JACK server of the test's own (jackd -n)"_s);

    QTemporaryDir home;
    Connector connector(home.path());
    qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
    const bool started = connector.start({});
    qunsetenv("JACK_DEFAULT_SERVER");
    QVERIFY(started);
    QVERIFY(!connector.waitForLine(QRegularExpression(u"^Ready on private network port 53731"_s)).isEmpty());
    const QString code = connector.waitForLine(QRegularExpression(u"^Pairing code: (\\d{6})$"_s));
    QVERIFY2(!connector.waitForLine(ready).isEmpty(), qPrintable(connector.output()));
    QVERIFY(jack.ports().value_or(QStringList()).contains(sourcePort));
    const QString token =
        request(53731, "POST", "/api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson())
            .body.value(u"token"_s)
            .toString();
    QCOMPARE(token.size(), 32);

    jack.stop();
    const QRegularExpression stopped(u"^The MIDI system stopped\\. Waiting for it to come back…$"_s);
    QVERIFY2(!connector.waitForLine(stopped).isEmpty(), qPrintable(connector.output()));
    // Meanwhile commands are answered as by a connector without a virtual source.
    const HttpAnswer played =
        request(53731, "POST", "/api/command", R"({"command":"play","deck":"left"})", token);
    QCOMPARE(played.status, 200);
    QCOMPARE(played.body.value(u"expectedState"_s).toString(), u"playing"_s);

    const qsizetype linesBeforeRestart = connector.lineCount();
    QVERIFY(jack.start());
    QVERIFY2(!connector.waitForLine(ready, 90000, linesBeforeRestart).isEmpty(),
             qPrintable(connector.output()));
    // The same source again, once: the old client is gone, not renamed beside a new one.
    const QStringList connectorPorts = jack.ports().value_or(QStringList()).filter(u"Tarvik DJ Connector"_s);
    QCOMPARE(connectorPorts, QStringList{sourcePort});
    QCOMPARE(connector.stop(), 0);
}

QTEST_GUILESS_MAIN(ConnectorEndToEndTest)
#include "tst_connectorendtoend.moc"
