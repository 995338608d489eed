#pragma once

#include "installers/installerlocations.h"

#include <QString>
#include <QStringList>

class Clock;

// Installs the shipped VirtualDJ controller definition and mapper into every VirtualDJ data folder,
// keeping a backup of each different file found there, and tells whether all copies are current.
// Stateless; called on the main thread by the connector model, one action at a time.
namespace VirtualDJMappingInstaller {

// Relative both to a VirtualDJ data folder and to the resources' "VirtualDJ" sub-folder: the
// definition first, the mapper second.
QStringList relativePaths();
// Documents + "VirtualDJ", then Application Support + "VirtualDJ"; a folder the platform does not
// report is left out.
QStringList roots(const InstallerLocations &locations);

// Whether every root holds both files byte-for-byte equal to the included ones; false when there is
// no root at all. Never throws.
bool isInstalled(const InstallerLocations &locations);

// True when at least one existing, different file was backed up. Throws InstallerError; nothing on
// disk changes before both included files have been read, and a failure part-way keeps what was
// already written and backed up.
bool install(const InstallerLocations &locations, const Clock &clock);

// Beside the file: stem + ".backup-" + timestamp + ".bak", or with a UUID suffix when that is taken.
QString uniqueBackupPath(const QString &filePath, const Clock &clock);

} // namespace VirtualDJMappingInstaller
