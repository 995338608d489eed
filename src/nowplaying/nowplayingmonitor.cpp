#include "nowplaying/nowplayingmonitor.h"

// Until the monitor's detection lands, it answers "no track" behind its final interface.
NowPlayingMonitor::NowPlayingMonitor(DJPlatform platform, Seams seams)
    : m_platform(platform)
    , m_seams(std::move(seams))
{
}

std::unique_ptr<NowPlayingMonitor> NowPlayingMonitor::createForSystem(DJPlatform platform)
{
    return std::make_unique<NowPlayingMonitor>(
        platform, Seams{nullptr, nullptr, QString(), std::make_shared<SystemClock>()});
}

std::optional<TrackInfo> NowPlayingMonitor::currentTrack()
{
    return std::nullopt;
}
