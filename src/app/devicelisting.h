#pragma once

#include "core/djplatform.h"
#include "router/paireddevice.h"

#include <QSettings>
#include <QStringList>

// One line per paired device, fields separated by a tab: id, name, when (local time with its offset)
// and where it paired, when and where it was last seen.
QStringList deviceListing(const QList<PairedDevice> &devices);

// The platform's paired devices as the settings file holds them. Only reads the file, so a running
// connector is not disturbed.
QList<PairedDevice> storedPairedDevices(const QSettings &settings, DJPlatform platform);
