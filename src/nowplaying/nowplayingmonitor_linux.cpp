#include "nowplaying/nowplayingmonitor.h"

#include "nowplaying/procopenfileslister.h"
#include "nowplaying/systemrunningapplications.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

// /proc answers in microseconds what lsof answers in milliseconds, in the same order and form.
std::unique_ptr<NowPlayingMonitor> NowPlayingMonitor::createForSystem(DJPlatform platform)
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::make_unique<NowPlayingMonitor>(platform, Seams{std::make_shared<SystemRunningApplications>(),
                                                               std::make_shared<ProcOpenFilesLister>(),
                                                               dataFolder + "/VirtualDJ/History"_L1,
                                                               std::make_shared<SystemClock>(), true});
}
