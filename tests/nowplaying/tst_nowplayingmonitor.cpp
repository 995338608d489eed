#include "nowplaying/nowplayingmonitor.h"
#include "support/fakeclock.h"
#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/testfixture.h"
#include "tracktitle.h"

#include <QDateTime>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kSeratoID = 4100;
constexpr qint64 kVirtualDJID = 4200;

// Both programs run and a fresh VirtualDJ history names "From History".
struct Harness
{
    std::shared_ptr<FakeRunningApplications> applications = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeOpenFilesLister> lister = std::make_shared<FakeOpenFilesLister>();
    // Real time, so that the history written now is fresh.
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(QDateTime::currentMSecsSinceEpoch());
    TestFixture fixture;
    std::unique_ptr<NowPlayingMonitor> monitor;
    const qint64 processID;

    explicit Harness(DJPlatform platform)
        : processID(platform == DJPlatform::serato ? kSeratoID : kVirtualDJID)
    {
        applications->set({{kSeratoID, u"Serato DJ Pro"_s, {}}, {kVirtualDJID, u"VirtualDJ"_s, {}}});
        fixture.writeFile(u"History/2026-06-14.m3u"_s, "#EXTVDJ:<title>From History</title>\n"_ba);
        monitor = std::make_unique<NowPlayingMonitor>(
            platform, NowPlayingMonitor::Seams{applications, lister, fixture.path(u"History"_s), clock});
    }

    // Lists the files named as open ("A B" is "/Music/A.mp3" and "/Music/B.mp3") and looks again,
    // past the cache.
    QString look(const QString &names)
    {
        QStringList paths;
        for (const QString &name : names.split(u' ', Qt::SkipEmptyParts))
            paths.append("/Music/"_L1 + name + (name.contains(u'.') ? ""_L1 : ".mp3"_L1));
        lister->set(processID, paths);
        clock->advance(NowPlayingMonitor::kCacheLifetimeMSecs);
        return titleOf(monitor->currentTrack());
    }
};

} // namespace

class TestNowPlayingMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void currentTrack_choosesPathAcrossLooks_data();
    void currentTrack_choosesPathAcrossLooks();
    void currentTrack_answersFromCacheWithinLifetime();
};

void TestNowPlayingMonitor::currentTrack_choosesPathAcrossLooks_data()
{
    // The DJ software's open files at each look ("A B|B" is two looks), and the title after each.
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("looks");
    QTest::addColumn<QString>("titles");

    const DJPlatform serato = DJPlatform::serato;
    QTest::newRow("new file wins, falls back when it closes") << serato << u"A|A B|A"_s << u"A|B|A"_s;
    QTest::newRow("current stays while open, in any order") << serato << u"A|A B|A B|B A"_s << u"A|B|B|B"_s;
    QTest::newRow("fallback takes the first open file") << serato << u"A B|A B C|B A"_s << u"A|C|B"_s;
    QTest::newRow("duplicates") << serato << u"A A|A B B|A A"_s << u"A|B|A"_s;
    // Serato never answers from VirtualDJ's history, although it is fresh.
    QTest::newRow("nothing open clears") << serato << u"A B||B A"_s << u"A|(none)|B"_s;
    QTest::newRow("only audio, any case")
        << serato << u"notes.txt A|A cover.jpg B.FLAC|cover.jpg"_s << u"A|B|(none)"_s;
    // A was open before the history answer; without a fresh start B would win as the new file.
    QTest::newRow("VirtualDJ history, then afresh")
        << DJPlatform::virtualDJ << u"A|notes.txt|A B"_s << u"A|From History|A"_s;
}

void TestNowPlayingMonitor::currentTrack_choosesPathAcrossLooks()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, looks);
    QFETCH(QString, titles);

    Harness harness(platform);
    QStringList seen;
    for (const QString &look : looks.split(u'|'))
        seen.append(harness.look(look));
    QCOMPARE(seen.join(u'|'), titles);
    QCOMPARE(harness.lister->looks(), seen.size());
}

void TestNowPlayingMonitor::currentTrack_answersFromCacheWithinLifetime()
{
    // Also guards against the answer freezing for as long as the wall clock was set back.
    Harness harness(DJPlatform::serato);
    QCOMPARE(harness.look(u"A"_s), u"A"_s);
    harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s, u"/Music/B.mp3"_s});
    QStringList answers;
    for (const qint64 step : {NowPlayingMonitor::kCacheLifetimeMSecs - 1, qint64(-3'600'000),
                              NowPlayingMonitor::kCacheLifetimeMSecs}) {
        harness.clock->advance(step);
        answers.append(titleOf(harness.monitor->currentTrack()));
    }
    QCOMPARE(answers, (QStringList{u"A"_s, u"A"_s, u"B"_s}));
    QCOMPARE(harness.lister->looks(), 2);
}

QTEST_GUILESS_MAIN(TestNowPlayingMonitor)
#include "tst_nowplayingmonitor.moc"
