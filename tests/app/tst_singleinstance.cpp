#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// The connector binary, headless, in its own home and runtime folder.
class Launch
{
public:
    explicit Launch(const QString &home)
    {
        QDir(home).mkpath(u"runtime"_s);
        QFile::setPermissions(home + u"/runtime"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home);
        environment.insert(u"XDG_CONFIG_HOME"_s, home + u"/.config"_s);
        environment.insert(u"XDG_DATA_HOME"_s, home + u"/.local/share"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, home + u"/runtime"_s);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(qEnvironmentVariable("CONNECTOR_BINARY"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Launch() { stop(SIGTERM); }

    bool start(const QStringList &arguments)
    {
        m_process.setArguments(QStringList{u"--headless"_s} + arguments);
        m_process.start();
        return m_process.waitForStarted(10000);
    }

    // Waits (generously: sanitizer builds start slowly) until a whole line starts with `start`.
    bool waitForLine(const QString &start)
    {
        const QRegularExpression pattern(u"(^|\\n)"_s + QRegularExpression::escape(start) + u"[^\\n]*\\n"_s);
        QDeadlineTimer deadline(90000);
        while (!pattern.match(m_output).hasMatch()) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(200);
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        }
        return true;
    }

    // Runs to its end; the exit code (-1 for a crash or a hang), with what it printed in `output`.
    int runToEnd(const QStringList &arguments)
    {
        if (!start(arguments) || !m_process.waitForFinished(90000))
            return -1;
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    int stop(int signal)
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitCode();
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(60000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QString output() const { return m_output; }

private:
    QProcess m_process;
    QString m_output;
};

// Whether something answers HTTP on a loopback port.
bool serves(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(10000))
        return false;
    socket.write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
    return socket.waitForReadyRead(10000) && socket.readAll().startsWith("HTTP/1.1 401");
}

} // namespace

// Two real launches in one temporary home: the second must not fight the first over its port.
class SingleInstanceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondLaunch_handsOverAndLeavesFirstServing();
    void crashedConnector_doesNotBlockNextStart();
};

void SingleInstanceTest::secondLaunch_handsOverAndLeavesFirstServing()
{
    QTemporaryDir home;
    Launch first(home.path());
    QVERIFY(first.start({}));
    QVERIFY2(first.waitForLine(u"Ready on private network port 53731"_s), qPrintable(first.output().right(300)));

    Launch second(home.path());
    QCOMPARE(second.runToEnd({}), 0);
    QCOMPARE(second.output(), u"Tarvik DJ Connector is already running.\n"_s);
    QVERIFY2(first.waitForLine(u"Another launch asked for the window; this connector runs without one."_s),
             qPrintable(first.output().right(300)));

    Launch version(home.path());
    QCOMPARE(version.runToEnd({u"--version"_s}), 0);
    QCOMPARE(version.output(), u"Tarvik DJ Connector 1.0.6 (8)\n"_s);

    // Another home is another connector: it starts on its own (on the other mode's port).
    QTemporaryDir otherHome;
    Launch other(otherHome.path());
    QVERIFY(other.start({u"--platform"_s, u"virtualDJ"_s}));
    QVERIFY2(other.waitForLine(u"Ready on private network port 53732"_s), qPrintable(other.output().right(300)));

    QVERIFY(serves(53731));
    QCOMPARE(first.stop(SIGTERM), 0);
    QCOMPARE(other.stop(SIGTERM), 0);
}

// Regression guard: the socket file a killed connector leaves behind must not pass for a running one.
void SingleInstanceTest::crashedConnector_doesNotBlockNextStart()
{
    QTemporaryDir home;
    Launch crashed(home.path());
    QVERIFY(crashed.start({}));
    QVERIFY2(crashed.waitForLine(u"Ready on private network port 53731"_s), qPrintable(crashed.output().right(300)));
    QCOMPARE(crashed.stop(SIGKILL), -1);
    QVERIFY(!QDir(home.filePath(u"runtime"_s)).entryList(QDir::System | QDir::NoDotAndDotDot).isEmpty());

    Launch next(home.path());
    QVERIFY(next.start({}));
    QVERIFY2(next.waitForLine(u"Ready on private network port 53731"_s), qPrintable(next.output().right(300)));
    // It took the socket over, so the launch after it is handed over again.
    Launch later(home.path());
    QCOMPARE(later.runToEnd({}), 0);
    QCOMPARE(later.output(), u"Tarvik DJ Connector is already running.\n"_s);
    QCOMPARE(next.stop(SIGTERM), 0);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
