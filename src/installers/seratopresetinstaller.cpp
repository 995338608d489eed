#include "installers/seratopresetinstaller.h"

#include "installers/installererror.h"
#include "installers/installsteps.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace SeratoPresetInstaller {

namespace {

const auto kResourcesSubfolder = "Serato"_L1;
const auto kDestinationFolder = "Music/_Serato_/MIDI/Xml"_L1;
const auto kBackupPrefix = "Tarvik Remote.backup-"_L1;
const auto kBackupSuffix = ".xml"_L1;

} // namespace

QString presetName()
{
    return u"Tarvik Remote"_s;
}

QString fileName()
{
    return u"Tarvik Remote.xml"_s;
}

QString destinationPath(const InstallerLocations &locations)
{
    if (locations.homeFolder.isEmpty())
        return {};
    return QDir(locations.homeFolder).filePath(kDestinationFolder + u'/' + fileName());
}

QByteArray includedPresetData(const InstallerLocations &locations)
{
    if (locations.resourcesFolder.isEmpty())
        throw InstallerError::missingBundledPreset();
    const QString path = QDir(locations.resourcesFolder).filePath(kResourcesSubfolder + u'/' + fileName());
    if (!QFileInfo(path).isFile())
        throw InstallerError::missingBundledPreset();
    return InstallSteps::read(path);
}

bool isInstalled(const InstallerLocations &locations)
{
    try {
        const QByteArray included = includedPresetData(locations);
        return InstallSteps::tryRead(destinationPath(locations)) == included;
    } catch (const InstallerError &) {
        return false;
    }
}

std::optional<QString> install(const InstallerLocations &locations, const Clock &clock)
{
    const QString destination = destinationPath(locations);
    const QByteArray included = includedPresetData(locations);
    if (destination.isEmpty()) {
        throw InstallerError(
            InstallerError::Kind::noDestinationFolder,
            u"Serato's preset folder could not be found: the system reports no home folder."_s);
    }
    const QString folder = QFileInfo(destination).path();
    InstallSteps::createFolder(folder);
    if (InstallSteps::tryRead(destination) == included)
        return std::nullopt;

    std::optional<QString> backup;
    if (InstallSteps::entryExists(destination)) {
        backup = InstallSteps::uniqueBackupPath(folder, kBackupPrefix, kBackupSuffix, clock);
        InstallSteps::copyToBackup(destination, *backup);
    }
    InstallSteps::writeAtomically(destination, included);
    return backup;
}

} // namespace SeratoPresetInstaller
