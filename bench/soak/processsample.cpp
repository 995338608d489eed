#include "processsample.h"

#include <QDir>
#include <QFile>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QList<QByteArray> procLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

// A "Name:   value kB" line of /proc/PID/status.
qint64 statusValue(const QList<QByteArray> &lines, QByteArrayView name)
{
    for (const QByteArray &line : lines) {
        if (line.startsWith(name) && line.size() > name.size() && line[name.size()] == ':')
            return line.mid(name.size() + 1).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Rows of /proc/net/tcp{,6}: "sl local_address rem_address st ...", addresses as HEX:PORT.
qint64 connectionsOnPort(quint16 port)
{
    // The states in which the server still holds the socket: ESTABLISHED and CLOSE_WAIT.
    constexpr QByteArrayView kEstablished = "01";
    constexpr QByteArrayView kCloseWait = "08";
    qint64 count = 0;
    for (const QString &table : {u"/proc/net/tcp"_s, u"/proc/net/tcp6"_s}) {
        for (const QByteArray &line : procLines(table)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4 || !fields[1].contains(':'))
                continue;
            bool isNumber = false;
            const uint localPort = fields[1].split(':').last().toUInt(&isNumber, 16);
            if (isNumber && localPort == port && (fields[3] == kEstablished || fields[3] == kCloseWait))
                ++count;
        }
    }
    return count;
}

} // namespace

ProcessSample ProcessSample::take(qint64 processID, quint16 port, qint64 seconds)
{
    const QString folder = u"/proc/%1"_s.arg(processID);
    const QList<QByteArray> status = procLines(folder + u"/status"_s);
    const QStringList descriptors =
        QDir(folder + u"/fd"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    return {seconds, statusValue(status, "VmRSS"), descriptors.size(), statusValue(status, "Threads"),
            connectionsOnPort(port)};
}
