#include "nowplaying/nowplayingmonitor.h"
#include "support/fakeclock.h"
#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "tracktitle.h"

#include <QTest>

#include <future>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class NowPlayingBackgroundTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void staleAnswer_comesAtOnceWhileOneLookRunsBehindIt();
};

// The monitor of this computer looks in the background: a status poll past the cache must not wait
// for the look (the server thread answers commands too), and polls meanwhile start no more looks.
void NowPlayingBackgroundTest::staleAnswer_comesAtOnceWhileOneLookRunsBehindIt()
{
    constexpr qint64 kProcessID = 4100;
    auto applications = std::make_shared<FakeRunningApplications>();
    applications->set({{kProcessID, u"Serato DJ Pro"_s, {}}});
    auto lister = std::make_shared<FakeOpenFilesLister>();
    auto clock = std::make_shared<FakeClock>();
    lister->set(kProcessID, {u"/Music/First.mp3"_s});
    NowPlayingMonitor monitor(DJPlatform::serato, {applications, lister, {}, clock, true});
    QCOMPARE(titleOf(monitor.currentTrack()), u"First"_s);

    std::promise<void> release;
    lister->setDuringLook([released = release.get_future().share()] { released.wait_for(10s); });
    lister->set(kProcessID, {u"/Music/First.mp3"_s, u"/Music/Second.mp3"_s});
    clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs);
    QCOMPARE(titleOf(monitor.currentTrack()), u"First"_s);
    QCOMPARE(titleOf(monitor.currentTrack()), u"First"_s);
    release.set_value();
    QTRY_COMPARE(titleOf(monitor.currentTrack()), u"Second"_s);
    QCOMPARE(lister->looks(), 2);
}

QTEST_APPLESS_MAIN(NowPlayingBackgroundTest)
#include "tst_nowplayingbackground.moc"
