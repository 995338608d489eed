#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <csignal>
#include <utility>

struct LoopbackAnswer
{
    int status = 0; // 0: no whole answer came (the connector went away first)
    QJsonObject body;
};

// One request on a fresh loopback connection, as the phone sends it.
LoopbackAnswer loopbackRequest(quint16 port, const QByteArray &methodAndPath, const QByteArray &body = {},
                               const QString &token = {});
// Pairs as the phone does; the bearer token, or empty when the code was refused.
QString pairOverLoopback(quint16 port, const QString &code);

// The built connector (CONNECTOR_BINARY) without a display, in a home of its own that also holds its
// settings, data and runtime folders. Its diagnostics go to the test's log.
class ConnectorProcess
{
public:
    explicit ConnectorProcess(const QString &home);
    ~ConnectorProcess() { stop(SIGKILL); }

    // Starts it with --headless before the arguments.
    bool start(const QStringList &arguments = {});
    // Waits (generously: a sanitizer build on a loaded machine starts slowly) for a line from
    // `firstLine` on that matches; its last captured group, or empty when none came.
    QString waitForLine(const QString &pattern, qsizetype firstLine = 0);
    qsizetype lineCount() const { return m_output.count(u'\n'); }
    qint64 pid() const { return m_process.processId(); }
    // Sends the signal and waits; the exit code of a normal exit, else -1.
    int stop(int signal = SIGTERM);
    // A run to its end with exactly these arguments: the exit code (-1 for a crash or hang) and what
    // it printed on both channels, trimmed.
    std::pair<int, QString> run(const QStringList &arguments) const;

private:
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_process;
    QString m_output;
};
