#include "app/djsoftware.h"

using namespace Qt::StringLiterals;

DJSoftwareIdentity djSoftwareIdentity(DJPlatform platform)
{
    if (platform == DJPlatform::serato)
        return {{u"com.serato.seratodj"_s}, u"serato dj pro"_s, u"/Applications/Serato DJ Pro.app"_s};
    return {{u"com.atomixproductions.virtualdj"_s, u"com.atomixproductions.virtualdjhome"_s},
            u"virtualdj"_s,
            u"/Applications/VirtualDJ.app"_s};
}

bool isDJSoftwareRunning(DJPlatform platform, const QList<RunningApplication> &applications)
{
    const DJSoftwareIdentity identity = djSoftwareIdentity(platform);
    for (const RunningApplication &application : applications) {
        const QString bundle = application.bundleIdentifier.toLower();
        if (identity.bundleIdentifiers.contains(bundle) || application.name.toLower() == identity.runningName)
            return true;
    }
    return false;
}
