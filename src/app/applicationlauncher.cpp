#include "app/applicationlauncher.h"

#include "core/mainthread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// The program and arguments of a desktop entry's Exec line, without its field codes (%f, %U, …).
QStringList desktopEntryCommand(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inDesktopEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'['))
            inDesktopEntry = line == "[Desktop Entry]"_L1;
        else if (inDesktopEntry && line.startsWith("Exec="_L1)) {
            QString exec = line.mid(5);
            exec.remove(QRegularExpression(u"%[fFuUdDnNickvm]"_s));
            exec.replace("%%"_L1, "%"_L1);
            return QProcess::splitCommand(exec);
        }
    }
    return {};
}

} // namespace

SystemApplicationLauncher::SystemApplicationLauncher(QStringList applicationFolders)
    : m_applicationFolders(applicationFolders.isEmpty()
                               ? QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)
                               : std::move(applicationFolders))
{}

std::optional<QString> SystemApplicationLauncher::locate(const QString &bundleIdentifier) const
{
    for (const QString &folder : m_applicationFolders) {
        const QString candidate = QDir(folder).filePath(bundleIdentifier + ".desktop"_L1);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return std::nullopt;
}

bool SystemApplicationLauncher::exists(const QString &path) const
{
    return QFileInfo::exists(path);
}

void SystemApplicationLauncher::open(const QString &location,
                                     std::function<void(std::optional<QString> error)> completion)
{
    QStringList command =
        location.endsWith(".desktop"_L1) ? desktopEntryCommand(location) : QStringList{location};
    std::optional<QString> error;
    if (command.isEmpty()) {
        error = location + " has no command to run."_L1;
    } else {
        QProcess process;
        process.setProgram(command.takeFirst());
        process.setArguments(command);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        if (!process.startDetached())
            error = process.errorString();
    }
    postToMainThread([completion = std::move(completion), error] { completion(error); });
}
