#pragma once

#include "core/djplatform.h"
#include "nowplaying/runningapplications.h"

#include <QList>
#include <QString>
#include <QStringList>

// How each DJ software is recognised and found: its bundle identifiers in lookup order, the
// lower-case name of its running process and the application file that stands in when no
// identifier is registered.
struct DJSoftwareIdentity
{
    QStringList bundleIdentifiers;
    QString runningName;
    QString fallbackApplicationPath;
};

DJSoftwareIdentity djSoftwareIdentity(DJPlatform platform);

// Whole-string, case-insensitive matches of bundle identifier or process name.
bool isDJSoftwareRunning(DJPlatform platform, const QList<RunningApplication> &applications);
