#pragma once

#include "installers/installerlocations.h"

#include <QByteArray>
#include <QString>

#include <optional>

class Clock;

// Installs the shipped "Tarvik Remote" MIDI preset into Serato DJ Pro's preset folder, keeping a
// backup of any different preset found there, and tells whether the installed copy is current.
// Stateless; called on the main thread by the connector model, one action at a time.
namespace SeratoPresetInstaller {

QString presetName();
QString fileName();
// home + "Music/_Serato_/MIDI/Xml/Tarvik Remote.xml"; empty when there is no home folder.
QString destinationPath(const InstallerLocations &locations);

// Whether the installed preset is byte-for-byte the included one. Never throws.
bool isInstalled(const InstallerLocations &locations);

// Returns the backup made of a different earlier preset, or none (first installation, or the preset
// was already current). Throws InstallerError; nothing on disk changes before the included preset
// has been read.
std::optional<QString> install(const InstallerLocations &locations, const Clock &clock);

// Throws missingBundledPreset when the resources folder or the file is absent; a read failure of a
// present file throws its own file-system error.
QByteArray includedPresetData(const InstallerLocations &locations);

} // namespace SeratoPresetInstaller
