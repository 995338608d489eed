#include "installers/installsteps.h"

#include "core/clock.h"
#include "installers/installererror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QUuid>

#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace InstallSteps {

namespace {

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

} // namespace

std::optional<QByteArray> tryRead(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

QByteArray read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw InstallerError::fileSystem(u"Could not read "_s + quoted(path) + u": "_s + file.errorString()
                                         + u'.');
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw InstallerError::fileSystem(u"Could not read "_s + quoted(path) + u": "_s + file.errorString()
                                         + u'.');
    return bytes;
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void createFolder(const QString &path)
{
    // std::filesystem, unlike QDir::mkpath, says why it failed.
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (error || !QFileInfo(path).isDir()) {
        const QString reason = error ? QString::fromLocal8Bit(error.message()) : u"Not a folder"_s;
        throw InstallerError::fileSystem(u"Could not create the folder "_s + quoted(path) + u": "_s + reason
                                         + u'.');
    }
}

QString timestamp(const Clock &clock)
{
    // The C locale keeps the digits ASCII whatever the user's locale.
    return QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(clock.nowMSecsSinceEpoch()),
                                 u"yyyyMMdd-HHmmss"_s);
}

QString uniqueBackupPath(const QString &folder, const QString &prefix, const QString &suffix,
                         const Clock &clock)
{
    const QDir dir(folder);
    const QString firstChoice = dir.filePath(prefix + timestamp(clock) + suffix);
    if (!entryExists(firstChoice))
        return firstChoice;
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
    return dir.filePath(prefix + timestamp(clock) + u'-' + uuid + suffix);
}

void copyToBackup(const QString &source, const QString &backup)
{
    QFile file(source);
    if (!file.copy(backup)) {
        throw InstallerError::fileSystem(u"Could not back up "_s + quoted(source) + u" to "_s + quoted(backup)
                                         + u": "_s + file.errorString() + u'.');
    }
}

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw InstallerError::fileSystem(u"Could not write "_s + quoted(path) + u": "_s + file.errorString()
                                         + u'.');
    }
}

} // namespace InstallSteps
