#include "nowplaying/nowplayingmonitor.h"

#include "nowplaying/lsofopenfileslister.h"
#include "nowplaying/systemrunningapplications.h"

#include <QDir>

using namespace Qt::StringLiterals;

std::unique_ptr<NowPlayingMonitor> NowPlayingMonitor::createForSystem(DJPlatform platform)
{
    return std::make_unique<NowPlayingMonitor>(
        platform,
        Seams{std::make_shared<SystemRunningApplications>(), std::make_shared<LsofOpenFilesLister>(),
              QDir::homePath() + "/Library/Application Support/VirtualDJ/History"_L1,
              std::make_shared<SystemClock>(), true});
}
