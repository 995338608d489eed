#pragma once

#include "core/clock.h"
#include "core/djplatform.h"
#include "core/trackinfo.h"
#include "nowplaying/openfileslister.h"
#include "nowplaying/runningapplications.h"

#include <QString>

#include <memory>
#include <optional>

// Infers the track the DJ software plays. Called on the server thread; thread-safe.
class NowPlayingMonitor
{
public:
    struct Seams
    {
        std::shared_ptr<const RunningApplications> runningApplications;
        std::shared_ptr<const OpenFilesLister> openFilesLister;
        QString virtualDJHistoryFolder;
        std::shared_ptr<const Clock> clock;
    };

    NowPlayingMonitor(DJPlatform platform, Seams seams);
    // The monitor over this computer's real processes, open files and history folder.
    static std::unique_ptr<NowPlayingMonitor> createForSystem(DJPlatform platform);

    std::optional<TrackInfo> currentTrack();

private:
    DJPlatform m_platform;
    Seams m_seams;
};
