#pragma once

#include "core/clock.h"
#include "core/djplatform.h"
#include "core/trackinfo.h"
#include "nowplaying/openfileslister.h"
#include "nowplaying/runningapplications.h"

#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <thread>

// Infers the track the DJ software plays from the audio files its process holds open and, for
// VirtualDJ, from its play history; answers are cached for 0.8 s. Called on the server thread;
// thread-safe (looks run outside the lock, the last look to finish wins). A look takes milliseconds
// (every process's name, then the DJ software's open files): with looks in the background, a call
// after the first answers at once from the last look and starts the next one on a thread of its own,
// so that a DJ's command never waits behind a status poll's look.
class NowPlayingMonitor
{
public:
    static constexpr qint64 kCacheLifetimeMSecs = 800;

    // A missing application list or lister means nothing is running; a missing clock, the
    // system's.
    struct Seams
    {
        std::shared_ptr<const RunningApplications> runningApplications;
        std::shared_ptr<const OpenFilesLister> openFilesLister;
        QString virtualDJHistoryFolder;
        std::shared_ptr<const Clock> clock;
        bool looksInBackground = false;
    };

    NowPlayingMonitor(DJPlatform platform, Seams seams);
    // Waits for a look still running in the background.
    ~NowPlayingMonitor();
    NowPlayingMonitor(const NowPlayingMonitor &) = delete;
    NowPlayingMonitor &operator=(const NowPlayingMonitor &) = delete;
    // The monitor over this computer's real processes, open files and history folder.
    static std::unique_ptr<NowPlayingMonitor> createForSystem(DJPlatform platform);

    std::optional<TrackInfo> currentTrack();

private:
    // The process names of the DJ software, as the system reports them.
    static QStringList watchedNames(DJPlatform platform);
    // The first path not open at the previous look; else the current path while it stays open;
    // else the first open path.
    static std::optional<QString> chooseCurrentPath(const QStringList &paths,
                                                    const QSet<QString> &previousPaths,
                                                    const std::optional<QString> &currentPath);

    // Looks now and caches the answer.
    std::optional<TrackInfo> look();
    // The lock is held: true while a look runs in the background, also one started now; false when
    // no thread could be made for it.
    bool startBackgroundLook();

    // The first running application with one of the names.
    std::optional<RunningApplication> runningApplication(const QStringList &names) const;
    // The open audio files of the DJ software, in the lister's order, duplicates kept.
    QStringList openAudioPaths() const;
    // The last track of VirtualDJ's newest play history, while VirtualDJ runs.
    std::optional<TrackInfo> virtualDJHistoryTrack() const;

    const DJPlatform m_platform;
    Seams m_seams;
    QMutex m_lock;
    std::optional<QString> m_currentPath;
    std::optional<QString> m_cachedPath;
    QSet<QString> m_previousPaths;
    std::optional<TrackInfo> m_cachedInfo;
    std::optional<qint64> m_lastRefreshMSecs;
    bool m_backgroundLookRunning = false;
    std::thread m_backgroundLook;
};
