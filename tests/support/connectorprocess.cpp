#include "connectorprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

LoopbackAnswer loopbackRequest(quint16 port, const QByteArray &methodAndPath, const QByteArray &body,
                               const QString &token)
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(10000))
        return {};
    // As the phone sends it: the connector names the device after it.
    QByteArray message = methodAndPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         + "User-Agent: Tarvik%20DJ%20Remote/42 CFNetwork/1494.0.7 Darwin/23.4.0\r\n";
    if (!token.isEmpty())
        message += "Authorization: Bearer " + token.toUtf8() + "\r\n";
    socket.write(message + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket.waitForDisconnected(10000);
    const QByteArray answer = socket.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4));
    if (!document.isObject())
        return {};
    return {answer.split(' ').value(1).toInt(), document.object()};
}

QString pairOverLoopback(quint16 port, const QString &code)
{
    const LoopbackAnswer paired =
        loopbackRequest(port, "POST /api/pair", QJsonDocument(QJsonObject{{u"code"_s, code}}).toJson());
    return paired.status == 200 ? paired.body.value(u"token"_s).toString() : QString();
}

ConnectorProcess::ConnectorProcess(const QString &home)
{
    // The runtime folder holds the single-instance socket, so each home is a connector of its own.
    QDir(home).mkpath(u"runtime"_s);
    QFile::setPermissions(home + u"/runtime"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment.insert(u"HOME"_s, home);
    m_environment.insert(u"XDG_RUNTIME_DIR"_s, home + u"/runtime"_s);
    // Settings, data and the activity log then fall back to folders under the home.
    for (const auto variable :
         {"XDG_CONFIG_HOME"_L1, "XDG_DATA_HOME"_L1, "XDG_STATE_HOME"_L1, "DISPLAY"_L1, "WAYLAND_DISPLAY"_L1})
        m_environment.remove(variable);
    m_process.setProcessEnvironment(m_environment);
    m_process.setProgram(qEnvironmentVariable("CONNECTOR_BINARY"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

bool ConnectorProcess::start(const QStringList &arguments)
{
    m_output.clear();
    m_process.setArguments(QStringList{u"--headless"_s} + arguments);
    m_process.start();
    return m_process.waitForStarted(10000);
}

QString ConnectorProcess::waitForLine(const QString &pattern, qsizetype firstLine)
{
    const QRegularExpression expression(pattern);
    for (QDeadlineTimer deadline(90000); !deadline.hasExpired(); m_process.waitForReadyRead(200)) {
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        const QStringList lines = m_output.split(u'\n');
        for (qsizetype line = firstLine; line + 1 < lines.size(); ++line) {
            const QRegularExpressionMatch match = expression.match(lines[line]);
            if (match.hasMatch())
                return match.captured(match.lastCapturedIndex());
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    qWarning("no line matching %s in:\n%s", qPrintable(pattern), qPrintable(m_output));
    return {};
}

int ConnectorProcess::stop(int signal)
{
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(60000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

std::pair<int, QString> ConnectorProcess::run(const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(m_process.program(), arguments);
    if (!process.waitForFinished(90000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}};
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed()};
}
