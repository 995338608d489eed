#pragma once

#include "installers/installererror.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>
#include <QTimeZone>

#include <optional>

// Helpers the installer tests share.
namespace InstallerTesting {

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList entriesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

// Every file under root with its modification time. After ageTree(), a file that is written again,
// replaced or added shows up as a difference, even within the same second.
inline QMap<QString, QDateTime> snapshot(const QString &root)
{
    QMap<QString, QDateTime> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), it.fileInfo().lastModified());
    }
    return files;
}

inline void ageTree(const QString &root)
{
    const QDateTime longAgo(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(longAgo, QFileDevice::FileModificationTime))
            qFatal("could not age %s", qPrintable(file.fileName()));
    }
}

// Whether mode 000 keeps this process from reading a file: not so for root.
inline bool permissionsStopReads(const QString &scratchFolder)
{
    QFile probe(QDir(scratchFolder).filePath(QStringLiteral("permission-probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.setPermissions(QFileDevice::Permissions());
    const bool stopped = !probe.open(QIODevice::ReadOnly);
    probe.close();
    probe.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    probe.remove();
    return stopped;
}

// The InstallerError that action throws, or none.
template<typename Action> std::optional<InstallerError> errorThrownBy(Action action)
{
    try {
        action();
    } catch (const InstallerError &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace InstallerTesting
