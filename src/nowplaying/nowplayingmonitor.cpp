#include "nowplaying/nowplayingmonitor.h"

#include "nowplaying/nowplayingtext.h"
#include "nowplaying/virtualdjhistory.h"

#include <system_error>

using namespace Qt::StringLiterals;

NowPlayingMonitor::NowPlayingMonitor(DJPlatform platform, Seams seams)
    : m_platform(platform)
    , m_seams(std::move(seams))
{
    if (!m_seams.clock)
        m_seams.clock = std::make_shared<SystemClock>();
}

NowPlayingMonitor::~NowPlayingMonitor()
{
    if (m_backgroundLook.joinable())
        m_backgroundLook.join();
}

std::optional<TrackInfo> NowPlayingMonitor::currentTrack()
{
    {
        QMutexLocker locker(&m_lock);
        const qint64 now = m_seams.clock->nowMSecsSinceEpoch();
        if (m_lastRefreshMSecs) {
            const qint64 elapsed = now - *m_lastRefreshMSecs;
            // After the wall clock went back, the cache restarts from now instead of lasting
            // until the clock has caught up with the last look.
            if (elapsed < 0)
                m_lastRefreshMSecs = now;
            if (elapsed < kCacheLifetimeMSecs)
                return m_cachedInfo;
            if (m_seams.looksInBackground && startBackgroundLook())
                return m_cachedInfo;
        }
    }
    return look();
}

bool NowPlayingMonitor::startBackgroundLook()
{
    if (m_backgroundLookRunning)
        return true;
    // The previous look has finished its work; at most its thread is still ending.
    if (m_backgroundLook.joinable())
        m_backgroundLook.join();
    try {
        m_backgroundLook = std::thread([this] {
            look();
            const QMutexLocker locker(&m_lock);
            m_backgroundLookRunning = false;
        });
    } catch (const std::system_error &) {
        return false;
    }
    m_backgroundLookRunning = true;
    return true;
}

std::optional<TrackInfo> NowPlayingMonitor::look()
{
    const QStringList paths = openAudioPaths();
    if (paths.isEmpty() && m_platform == DJPlatform::virtualDJ) {
        if (std::optional<TrackInfo> track = virtualDJHistoryTrack()) {
            QMutexLocker locker(&m_lock);
            m_lastRefreshMSecs = m_seams.clock->nowMSecsSinceEpoch();
            m_currentPath.reset();
            m_previousPaths.clear();
            m_cachedPath.reset();
            m_cachedInfo = std::move(track);
            return m_cachedInfo;
        }
    }

    QMutexLocker locker(&m_lock);
    m_lastRefreshMSecs = m_seams.clock->nowMSecsSinceEpoch();
    m_currentPath = chooseCurrentPath(paths, m_previousPaths, m_currentPath);
    m_previousPaths = QSet<QString>(paths.cbegin(), paths.cend());
    if (!m_currentPath) {
        m_cachedInfo.reset();
        m_cachedPath.reset();
        return std::nullopt;
    }
    if (m_cachedPath == m_currentPath && m_cachedInfo && !m_cachedInfo->title.isEmpty())
        return m_cachedInfo;
    m_cachedInfo = TrackInfo{NowPlayingText::titleForPath(*m_currentPath), std::nullopt};
    m_cachedPath = m_currentPath;
    return m_cachedInfo;
}

QStringList NowPlayingMonitor::watchedNames(DJPlatform platform)
{
    switch (platform) {
    case DJPlatform::serato:
        return {u"Serato DJ Pro"_s};
    case DJPlatform::virtualDJ:
        return {u"VirtualDJ"_s};
    }
    return {};
}

std::optional<QString> NowPlayingMonitor::chooseCurrentPath(const QStringList &paths,
                                                            const QSet<QString> &previousPaths,
                                                            const std::optional<QString> &currentPath)
{
    for (const QString &path : paths) {
        if (!previousPaths.contains(path))
            return path;
    }
    if (currentPath && paths.contains(*currentPath))
        return currentPath;
    if (paths.isEmpty())
        return std::nullopt;
    return paths.first();
}

std::optional<RunningApplication> NowPlayingMonitor::runningApplication(const QStringList &names) const
{
    if (!m_seams.runningApplications)
        return std::nullopt;
    for (const RunningApplication &application : m_seams.runningApplications->list()) {
        if (names.contains(application.name))
            return application;
    }
    return std::nullopt;
}

QStringList NowPlayingMonitor::openAudioPaths() const
{
    const std::optional<RunningApplication> application = runningApplication(watchedNames(m_platform));
    if (!application || !m_seams.openFilesLister)
        return {};
    QStringList paths;
    for (const QString &path : m_seams.openFilesLister->openPaths(application->processID)) {
        if (NowPlayingText::isAudioPath(path))
            paths.append(path);
    }
    return paths;
}

std::optional<TrackInfo> NowPlayingMonitor::virtualDJHistoryTrack() const
{
    if (!runningApplication(watchedNames(DJPlatform::virtualDJ)))
        return std::nullopt;
    return VirtualDJHistory::newestTrack(m_seams.virtualDJHistoryFolder, m_seams.clock->nowMSecsSinceEpoch());
}
