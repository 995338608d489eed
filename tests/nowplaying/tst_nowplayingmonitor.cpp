#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "nowplaying/nowplayingmonitor.h"
#include "support/fakeclock.h"
#include "support/testfixture.h"
#include "trackinfoprinting.h"

#include <QDateTime>
#include <QFile>
#include <QSemaphore>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

using OptionalString = std::optional<QString>;
using Look = QStringList;

namespace {

constexpr qint64 kSeratoID = 4100;
constexpr qint64 kVirtualDJID = 4200;

std::optional<TrackInfo> track(const QString &title)
{
    return TrackInfo{title, std::nullopt};
}

} // namespace

class TestNowPlayingMonitor : public QObject
{
    Q_OBJECT

private:
    struct Harness
    {
        std::shared_ptr<FakeRunningApplications> applications = std::make_shared<FakeRunningApplications>();
        std::shared_ptr<FakeOpenFilesLister> lister = std::make_shared<FakeOpenFilesLister>();
        std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
        TestFixture fixture;
        std::unique_ptr<NowPlayingMonitor> monitor;

        explicit Harness(DJPlatform platform)
        {
            applications->set({{1, u"Finder"_s, u"com.apple.finder"_s},
                               {kSeratoID, u"Serato DJ Pro"_s, u"com.serato.seratodj"_s},
                               {kVirtualDJID, u"VirtualDJ"_s, u"com.atomixproductions.virtualdj"_s}});
            monitor = std::make_unique<NowPlayingMonitor>(
                platform, NowPlayingMonitor::Seams{applications, lister, fixture.path(u"History"_s), clock});
        }

        // The next call looks again instead of answering from the cache.
        std::optional<TrackInfo> lookAgain()
        {
            clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs);
            return monitor->currentTrack();
        }

        void writeHistory(const QByteArray &elements, qint64 ageMSecs)
        {
            const QString path = fixture.writeFile(u"History/2025-06-14.m3u"_s,
                                                   "#EXTVDJ:"_ba + elements + "\n/Music/x.mp3\n"_ba);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(clock->nowMSecsSinceEpoch() - ageMSecs),
                                     QFileDevice::FileModificationTime));
        }
    };

private Q_SLOTS:
    void currentTrack_takesTitleFromFileName();
    void currentTrack_choosesPathAcrossLooks_data();
    void currentTrack_choosesPathAcrossLooks();
    void currentTrack_answersFromCacheWithinLifetime();
    void currentTrack_restartsCacheAfterClockWentBack();
    void currentTrack_watchesOnlyThePlatformsProcess_data();
    void currentTrack_watchesOnlyThePlatformsProcess();
    void currentTrack_asksFirstMatchingProcess();
    void currentTrack_clearsAnswerWhenSoftwareQuits();
    void currentTrack_fallsBackToVirtualDJHistory();
    void currentTrack_ignoresHistory_data();
    void currentTrack_ignoresHistory();
    void currentTrack_startsAfreshAfterHistory();
    void currentTrack_releasesLockWhileListing();
    void currentTrack_toleratesMissingSeams();
};

void TestNowPlayingMonitor::currentTrack_takesTitleFromFileName()
{
    Harness harness(DJPlatform::serato);
    harness.lister->set(kSeratoID, {u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s});

    QCOMPARE(harness.monitor->currentTrack(), track(u"Song Name"_s));
    QCOMPARE(harness.lister->lastProcessID(), kSeratoID);
}

void TestNowPlayingMonitor::currentTrack_choosesPathAcrossLooks_data()
{
    // Each look lists the files open at that moment ("A" is "/Music/A.mp3"); each expected entry is
    // the title after that look, empty for no track.
    QTest::addColumn<QList<Look>>("looks");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("new file wins, falls back when it closes")
        << QList<Look>{{u"A"_s}, {u"A"_s, u"B"_s}, {u"A"_s}} << QStringList{u"A"_s, u"B"_s, u"A"_s};
    QTest::newRow("current stays while open")
        << QList<Look>{{u"A"_s}, {u"A"_s, u"B"_s}, {u"A"_s, u"B"_s}} << QStringList{u"A"_s, u"B"_s, u"B"_s};
    QTest::newRow("order does not move the current")
        << QList<Look>{{u"A"_s}, {u"A"_s, u"B"_s}, {u"B"_s, u"A"_s}} << QStringList{u"A"_s, u"B"_s, u"B"_s};
    QTest::newRow("fallback takes the first open file")
        << QList<Look>{{u"A"_s, u"B"_s}, {u"A"_s, u"B"_s, u"C"_s}, {u"B"_s, u"A"_s}}
        << QStringList{u"A"_s, u"C"_s, u"B"_s};
    QTest::newRow("first of several new files")
        << QList<Look>{{u"A"_s}, {u"C"_s, u"A"_s, u"B"_s}} << QStringList{u"A"_s, u"C"_s};
    QTest::newRow("duplicates") << QList<Look>{{u"A"_s, u"A"_s}, {u"A"_s, u"B"_s, u"B"_s}, {u"A"_s, u"A"_s}}
                                << QStringList{u"A"_s, u"B"_s, u"A"_s};
    QTest::newRow("nothing open clears, then starts afresh")
        << QList<Look>{{u"A"_s, u"B"_s}, {}, {u"B"_s, u"A"_s}} << QStringList{u"A"_s, QString(), u"B"_s};
    QTest::newRow("other files ignored")
        << QList<Look>{{u"notes.txt"_s, u"A"_s}, {u"A"_s, u"cover.jpg"_s}, {u"cover.jpg"_s}}
        << QStringList{u"A"_s, u"A"_s, QString()};
}

void TestNowPlayingMonitor::currentTrack_choosesPathAcrossLooks()
{
    QFETCH(QList<Look>, looks);
    QFETCH(QStringList, titles);

    Harness harness(DJPlatform::serato);
    for (qsizetype index = 0; index < looks.size(); ++index) {
        QStringList paths;
        for (const QString &name : looks.at(index))
            paths.append(name.contains(u'.') ? "/Music/"_L1 + name : "/Music/"_L1 + name + ".mp3"_L1);
        harness.lister->set(kSeratoID, paths);
        const std::optional<TrackInfo> expected =
            titles.at(index).isEmpty() ? std::nullopt : track(titles.at(index));
        QCOMPARE(harness.lookAgain(), expected);
    }
    QCOMPARE(harness.lister->looks(), looks.size());
}

void TestNowPlayingMonitor::currentTrack_answersFromCacheWithinLifetime()
{
    Harness harness(DJPlatform::serato);
    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s});
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));

    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s, u"/Music/B.mp3"_s});
    harness.clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs - 1);
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));
    QCOMPARE(harness.lister->looks(), 1);

    harness.clock->advance(1);
    QCOMPARE(harness.monitor->currentTrack(), track(u"B"_s));
    QCOMPARE(harness.lister->looks(), 2);
}

void TestNowPlayingMonitor::currentTrack_restartsCacheAfterClockWentBack()
{
    // Guards against the answer freezing for as long as the clock was set back.
    Harness harness(DJPlatform::serato);
    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s});
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));

    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s, u"/Music/B.mp3"_s});
    harness.clock->advance(-3'600'000);
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));
    harness.clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs - 1);
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));
    QCOMPARE(harness.lister->looks(), 1);

    harness.clock->advance(1);
    QCOMPARE(harness.monitor->currentTrack(), track(u"B"_s));
    QCOMPARE(harness.lister->looks(), 2);
}

void TestNowPlayingMonitor::currentTrack_watchesOnlyThePlatformsProcess_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("processName");
    QTest::addColumn<bool>("watched");

    QTest::newRow("Serato DJ Pro") << DJPlatform::serato << u"Serato DJ Pro"_s << true;
    QTest::newRow("Serato, other case") << DJPlatform::serato << u"serato dj pro"_s << false;
    QTest::newRow("Serato DJ Lite") << DJPlatform::serato << u"Serato DJ Lite"_s << false;
    QTest::newRow("VirtualDJ on Serato") << DJPlatform::serato << u"VirtualDJ"_s << false;
    QTest::newRow("VirtualDJ") << DJPlatform::virtualDJ << u"VirtualDJ"_s << true;
    QTest::newRow("VirtualDJ, other case") << DJPlatform::virtualDJ << u"virtualdj"_s << false;
    QTest::newRow("Serato on VirtualDJ") << DJPlatform::virtualDJ << u"Serato DJ Pro"_s << false;
}

void TestNowPlayingMonitor::currentTrack_watchesOnlyThePlatformsProcess()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, processName);
    QFETCH(bool, watched);

    Harness harness(platform);
    harness.applications->set({{77, processName, QString()}});
    harness.lister->set(77, {u"/Music/A.mp3"_s});

    QCOMPARE(harness.monitor->currentTrack(), watched ? track(u"A"_s) : std::nullopt);
    QCOMPARE(harness.lister->looks(), watched ? 1 : 0);
}

void TestNowPlayingMonitor::currentTrack_asksFirstMatchingProcess()
{
    Harness harness(DJPlatform::serato);
    harness.applications->set({{9, u"Music"_s, QString()},
                               {12, u"Serato DJ Pro"_s, QString()},
                               {11, u"Serato DJ Pro"_s, QString()}});
    harness.lister->set(12, {u"/Music/Twelve.mp3"_s});
    harness.lister->set(11, {u"/Music/Eleven.mp3"_s});

    QCOMPARE(harness.monitor->currentTrack(), track(u"Twelve"_s));
}

void TestNowPlayingMonitor::currentTrack_clearsAnswerWhenSoftwareQuits()
{
    Harness harness(DJPlatform::serato);
    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s});
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));

    harness.applications->set({});
    QCOMPARE(harness.lookAgain(), std::nullopt);
    harness.clock->advance(1);
    QCOMPARE(harness.monitor->currentTrack(), std::nullopt);
}

void TestNowPlayingMonitor::currentTrack_fallsBackToVirtualDJHistory()
{
    Harness harness(DJPlatform::virtualDJ);
    harness.writeHistory("<title>Artist - Song</title><artist>artist</artist>"_ba, 60'000);
    harness.lister->set(kVirtualDJID, {u"/Library/notes.txt"_s});

    QCOMPARE(harness.monitor->currentTrack(), track(u"Song"_s));

    harness.lister->set(kVirtualDJID, {u"/Music/Deck A.m4a"_s});
    QCOMPARE(harness.lookAgain(), track(u"Deck A"_s));
}

void TestNowPlayingMonitor::currentTrack_ignoresHistory_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<bool>("virtualDJRunning");
    QTest::addColumn<qint64>("historyAgeMSecs");

    QTest::newRow("Serato") << DJPlatform::serato << true << qint64(60'000);
    QTest::newRow("VirtualDJ not running") << DJPlatform::virtualDJ << false << qint64(60'000);
    QTest::newRow("12 hours old") << DJPlatform::virtualDJ << true << qint64(43'200'000);
}

void TestNowPlayingMonitor::currentTrack_ignoresHistory()
{
    QFETCH(DJPlatform, platform);
    QFETCH(bool, virtualDJRunning);
    QFETCH(qint64, historyAgeMSecs);

    Harness harness(platform);
    if (!virtualDJRunning)
        harness.applications->set({{kSeratoID, u"Serato DJ Pro"_s, QString()}});
    harness.writeHistory("<title>From History</title>"_ba, historyAgeMSecs);

    QCOMPARE(harness.monitor->currentTrack(), std::nullopt);
}

void TestNowPlayingMonitor::currentTrack_startsAfreshAfterHistory()
{
    Harness harness(DJPlatform::virtualDJ);
    harness.writeHistory("<title>From History</title>"_ba, 60'000);
    harness.lister->set(kVirtualDJID, {u"/Music/A.mp3"_s});
    QCOMPARE(harness.monitor->currentTrack(), track(u"A"_s));

    harness.lister->set(kVirtualDJID, {});
    QCOMPARE(harness.lookAgain(), track(u"From History"_s));

    // A was open before the history look; without a fresh start B would win as the new file.
    harness.lister->set(kVirtualDJID, {u"/Music/A.mp3"_s, u"/Music/B.mp3"_s});
    QCOMPARE(harness.lookAgain(), track(u"A"_s));
}

void TestNowPlayingMonitor::currentTrack_releasesLockWhileListing()
{
    Harness harness(DJPlatform::serato);
    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s});
    QSemaphore firstLookEntered;
    QSemaphore releaseFirstLook;
    std::atomic<bool> holdNextLook = true;
    harness.lister->setDuringLook([&] {
        if (holdNextLook.exchange(false)) {
            firstLookEntered.release();
            releaseFirstLook.tryAcquire(1, 60'000);
        }
    });

    std::optional<TrackInfo> firstAnswer;
    std::thread first([&] { firstAnswer = harness.monitor->currentTrack(); });
    QVERIFY(firstLookEntered.tryAcquire(1, 60'000));

    QSemaphore secondDone;
    std::optional<TrackInfo> secondAnswer;
    std::thread second([&] {
        secondAnswer = harness.monitor->currentTrack();
        secondDone.release();
    });
    const bool secondFinishedWhileFirstListed = secondDone.tryAcquire(1, 60'000);
    releaseFirstLook.release();
    first.join();
    second.join();

    QVERIFY(secondFinishedWhileFirstListed);
    QCOMPARE(secondAnswer, track(u"A"_s));
    QCOMPARE(firstAnswer, track(u"A"_s));
    QCOMPARE(harness.lister->looks(), 2);
}

void TestNowPlayingMonitor::currentTrack_toleratesMissingSeams()
{
    NowPlayingMonitor monitor(DJPlatform::virtualDJ, {});

    QCOMPARE(monitor.currentTrack(), std::nullopt);
}

QTEST_GUILESS_MAIN(TestNowPlayingMonitor)
#include "tst_nowplayingmonitor.moc"
