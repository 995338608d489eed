#include "installers/virtualdjmappinginstaller.h"

#include "installers/installererror.h"
#include "installers/installsteps.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QList>

#include <utility>

using namespace Qt::StringLiterals;

namespace VirtualDJMappingInstaller {

namespace {

const auto kResourcesSubfolder = "VirtualDJ"_L1;
const auto kDataFolderName = "VirtualDJ"_L1;
const auto kBackupInfix = ".backup-"_L1;
const auto kBackupSuffix = ".bak"_L1;

using IncludedFile = std::pair<QString, QByteArray>;

// Throws missingBundledMapping when the resources folder or the file is absent; a read failure of a
// present file throws its own file-system error.
QByteArray includedFileData(const InstallerLocations &locations, const QString &relativePath)
{
    if (locations.resourcesFolder.isEmpty())
        throw InstallerError::missingBundledMapping();
    const QString path = QDir(locations.resourcesFolder).filePath(kResourcesSubfolder + u'/' + relativePath);
    if (!QFileInfo(path).isFile())
        throw InstallerError::missingBundledMapping();
    return InstallSteps::read(path);
}

QList<IncludedFile> includedFiles(const InstallerLocations &locations)
{
    QList<IncludedFile> files;
    for (const QString &relativePath : relativePaths())
        files.append({relativePath, includedFileData(locations, relativePath)});
    return files;
}

} // namespace

QStringList relativePaths()
{
    return {u"Devices/Tarvik DJ Connector.xml"_s, u"Mappers/Tarvik DJ Connector.xml"_s};
}

QStringList roots(const InstallerLocations &locations)
{
    QStringList result;
    for (const QString &folder : {locations.documentsFolder, locations.applicationSupportFolder}) {
        if (!folder.isEmpty())
            result.append(QDir(folder).filePath(kDataFolderName));
    }
    return result;
}

bool isInstalled(const InstallerLocations &locations)
{
    const QStringList dataFolders = roots(locations);
    if (dataFolders.isEmpty())
        return false;
    try {
        const QList<IncludedFile> files = includedFiles(locations);
        for (const QString &root : dataFolders) {
            for (const auto &[relativePath, bytes] : files) {
                if (InstallSteps::tryRead(QDir(root).filePath(relativePath)) != bytes)
                    return false;
            }
        }
        return true;
    } catch (const InstallerError &) {
        return false;
    }
}

bool install(const InstallerLocations &locations, const Clock &clock)
{
    const QList<IncludedFile> files = includedFiles(locations);
    const QStringList dataFolders = roots(locations);
    if (dataFolders.isEmpty()) {
        throw InstallerError(InstallerError::Kind::noDestinationFolder,
                             u"VirtualDJ's data folder could not be found: the system reports neither a "
                             "Documents nor an Application Support folder."_s);
    }

    bool backedUp = false;
    for (const QString &root : dataFolders) {
        for (const auto &[relativePath, bytes] : files) {
            const QString destination = QDir(root).filePath(relativePath);
            InstallSteps::createFolder(QFileInfo(destination).path());
            if (InstallSteps::tryRead(destination) == bytes)
                continue;
            if (InstallSteps::entryExists(destination)) {
                InstallSteps::copyToBackup(destination, uniqueBackupPath(destination, clock));
                backedUp = true;
            }
            InstallSteps::writeAtomically(destination, bytes);
        }
    }
    return backedUp;
}

QString uniqueBackupPath(const QString &filePath, const Clock &clock)
{
    const QFileInfo file(filePath);
    return InstallSteps::uniqueBackupPath(file.path(), file.completeBaseName() + kBackupInfix, kBackupSuffix,
                                          clock);
}

} // namespace VirtualDJMappingInstaller
