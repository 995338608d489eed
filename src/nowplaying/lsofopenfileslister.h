#pragma once

#include "nowplaying/openfileslister.h"

#include <QByteArray>
#include <QString>

// Lists a process's open files by running lsof. Stateless; callable from any thread (it runs lsof
// synchronously on the calling thread).
class LsofOpenFilesLister final : public OpenFilesLister
{
public:
    static constexpr int kDefaultTimeoutMSecs = 2000;

    // "/usr/sbin/lsof" where it exists, else "/usr/bin/lsof".
    static QString defaultExecutable();
    // The "n" lines of `lsof -Fn` output without their "n"; nothing when the bytes are not UTF-8.
    static QStringList parsePaths(const QByteArray &output);

    explicit LsofOpenFilesLister(QString executable = defaultExecutable(),
                                 int timeoutMSecs = kDefaultTimeoutMSecs);

    QStringList openPaths(qint64 processID) const override;

private:
    QString m_executable;
    int m_timeoutMSecs;
};
