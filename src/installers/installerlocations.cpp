#include "installers/installerlocations.h"

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
    // The build copies resources/ to share/ beside bin/, the same layout as an installed tree.
    if (QCoreApplication::instance()) {
        locations.resourcesFolder =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/tarvik-dj-connector"_s);
    }
    locations.homeFolder = QDir::homePath();
    locations.documentsFolder = firstLocation(QStandardPaths::DocumentsLocation);
    // ~/Library/Application Support on macOS, ~/.local/share on Linux.
    locations.applicationSupportFolder = firstLocation(QStandardPaths::GenericDataLocation);
    return locations;
}
