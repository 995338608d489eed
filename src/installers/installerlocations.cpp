#include "installers/installerlocations.h"

#include "installers/resourcesfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

QString firstLocation(QStandardPaths::StandardLocation type)
{
    const QStringList locations = QStandardPaths::standardLocations(type);
    return locations.isEmpty() ? QString() : locations.first();
}

} // namespace

InstallerLocations InstallerLocations::forSystem()
{
    InstallerLocations locations;
    if (QCoreApplication::instance())
        locations.resourcesFolder = resourcesFolderBeside(QCoreApplication::applicationDirPath());
    locations.homeFolder = QDir::homePath();
    locations.documentsFolder = firstLocation(QStandardPaths::DocumentsLocation);
    // ~/Library/Application Support on macOS, ~/.local/share on Linux.
    locations.applicationSupportFolder = firstLocation(QStandardPaths::GenericDataLocation);
    return locations;
}
