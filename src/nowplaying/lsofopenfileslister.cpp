#include "nowplaying/lsofopenfileslister.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

QString LsofOpenFilesLister::defaultExecutable()
{
    const QString system = u"/usr/sbin/lsof"_s;
    return QFileInfo::exists(system) ? system : u"/usr/bin/lsof"_s;
}

QStringList LsofOpenFilesLister::parsePaths(const QByteArray &output)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(output);
    if (decoder.hasError())
        return {};
    QStringList paths;
    for (const QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'n'))
            paths.append(line.mid(1).toString());
    }
    return paths;
}

LsofOpenFilesLister::LsofOpenFilesLister(QString executable, int timeoutMSecs)
    : m_executable(std::move(executable))
    , m_timeoutMSecs(timeoutMSecs)
{}

QStringList LsofOpenFilesLister::openPaths(qint64 processID) const
{
    QProcess lsof;
    // Without a UTF-8 locale lsof prints every non-ASCII byte of a name as "\xNN".
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    lsof.setProcessEnvironment(environment);
    lsof.setStandardInputFile(QProcess::nullDevice());
    lsof.setStandardErrorFile(QProcess::nullDevice());
    lsof.start(m_executable, {u"-Fn"_s, u"-p"_s, QString::number(processID)});
    if (!lsof.waitForStarted(m_timeoutMSecs))
        return {};
    if (!lsof.waitForFinished(m_timeoutMSecs)) {
        lsof.kill();
        lsof.waitForFinished(m_timeoutMSecs);
        return {};
    }
    return parsePaths(lsof.readAllStandardOutput());
}
