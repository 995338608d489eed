#pragma once

#include <QString>

// The folders the installers read from and write to, injected so tests can use a temporary home.
// A plain value; any thread.
struct InstallerLocations
{
    // Holds the "Serato" and "VirtualDJ" sub-folders; empty when it cannot be found.
    QString resourcesFolder;
    QString homeFolder;
    // Empty when the platform reports no such folder.
    QString documentsFolder;
    QString applicationSupportFolder;

    // Needs a QCoreApplication for the executable's location.
    static InstallerLocations forSystem();
};
