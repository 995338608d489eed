#include "routerharness.h"

#include "nowplaying/nowplayingmonitor.h"

#include "support/recordingmidioutput.h"

#include <QThread>

using namespace Qt::StringLiterals;

RouterHarness::RouterHarness(DJPlatform platform)
    : m_platform(platform)
    , m_clock(std::make_shared<FakeClock>())
    , m_applications(std::make_shared<FakeRunningApplications>())
    , m_openFiles(std::make_shared<FakeOpenFilesLister>())
{
    m_applications->set(
        {{kProcessID, platform == DJPlatform::serato ? u"Serato DJ Pro"_s : u"VirtualDJ"_s, {}}});
    m_openFiles->setDuringLook([this] {
        std::function<void()> hook;
        {
            const QMutexLocker locker(&m_mutex);
            m_lookThreadNames.append(QThread::currentThread()->objectName());
            hook = m_duringLook;
        }
        if (hook)
            hook();
    });
    reload();
}

void RouterHarness::reload()
{
    auto monitor = std::make_unique<NowPlayingMonitor>(
        m_platform,
        NowPlayingMonitor::Seams{m_applications, m_openFiles, m_fixture.path(u"history"_s), m_clock});
    m_router =
        std::make_shared<CommandRouter>(m_platform, RecordingMIDIOutput::transport(m_platform).transport,
                                        m_fixture.settings(), std::move(monitor), m_clock);
}

void RouterHarness::playFile(const QString &path)
{
    m_openFiles->set(kProcessID, {path});
    // Past the monitor's cache.
    m_clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs + 1);
}

QStringList RouterHarness::lookThreadNames() const
{
    const QMutexLocker locker(&m_mutex);
    return m_lookThreadNames;
}

void RouterHarness::setDuringLook(std::function<void()> hook)
{
    const QMutexLocker locker(&m_mutex);
    m_duringLook = std::move(hook);
}
