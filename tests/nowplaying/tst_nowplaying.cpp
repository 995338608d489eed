#include "nowplaying/nowplayingmonitor.h"
#include "nowplaying/nowplayingtext.h"
#include "nowplaying/virtualdjhistory.h"
#include "support/fakeopenfileslister.h"
#include "support/fakerunningapplications.h"
#include "support/testfixture.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <future>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const qint64 kNow = QDateTime::currentMSecsSinceEpoch();
constexpr qint64 kMinute = 60'000;
constexpr qint64 kSeratoID = 4100;

// The title of an answer, "(none)" for no track, so that QCOMPARE prints what it compares.
QString titleOf(const std::optional<TrackInfo> &track)
{
    return track ? track->title : u"(none)"_s;
}

// Writes a file into the history folder, modified the given time before now.
void write(const TestFixture &fixture, const QString &name, const QByteArray &bytes, qint64 ageMSecs)
{
    QFile file(fixture.writeFile(u"History/"_s + name, bytes));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(kNow - ageMSecs), QFile::FileModificationTime));
}

// Both programs run and a fresh VirtualDJ history names "From History".
struct Harness
{
    explicit Harness(DJPlatform platform, bool looksInBackground = false)
        : processID(platform == DJPlatform::serato ? kSeratoID : kSeratoID + 1)
    {
        applications->set({{kSeratoID, u"Serato DJ Pro"_s, {}}, {kSeratoID + 1, u"VirtualDJ"_s, {}}});
        fixture.writeFile(u"History/2026-06-14.m3u"_s, "#EXTVDJ:<title>From History</title>\n"_ba);
        monitor = std::make_unique<NowPlayingMonitor>(
            platform, NowPlayingMonitor::Seams{applications, lister, fixture.path(u"History"_s), clock,
                                               looksInBackground});
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

    const qint64 processID;
    std::shared_ptr<FakeRunningApplications> applications = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<FakeOpenFilesLister> lister = std::make_shared<FakeOpenFilesLister>();
    // Real time, so that the history written now is fresh.
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(QDateTime::currentMSecsSinceEpoch());
    TestFixture fixture;
    std::unique_ptr<NowPlayingMonitor> monitor;
};

} // namespace

// What the phone shows as playing: titles from file names and VirtualDJ's history, and the file the
// monitor picks among those the DJ software holds open.
class NowPlayingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titleForPath_cleansFileName()
    {
        const std::pair<QString, QString> rows[] = {
            // The first spaced hyphen ends the artist; a trailing identifier goes.
            {u"/Music/Jay-Z - Song - Live [aB3_x9Z].mp3"_s, u"Song - Live"_s},
            {u"/Music/Intro\u00a0[ab-c_1].wav"_s, u"Intro"_s},   // six characters, after a non-breaking space
            {u"/Music/Intro [abcde].mp3"_s, u"Intro [abcde]"_s}, // five characters are no identifier
            {u"/Music/v1.2/Track.final.MP3"_s, u"Track.final"_s},
            {QString(), QString()}};
        for (const auto &[path, title] : rows)
            QCOMPARE(NowPlayingText::titleForPath(path), title);
    }

    void newestTrack_readsNewestFreshPlaylist()
    {
        // The bytes and age of "b.m3u", and the title read; "c.m3u" is as old, "a.m3u" a minute older,
        // hidden and text files newer.
        const QByteArray b = "#EXTVDJ:<title>B</title>\n";
        const std::tuple<QByteArray, qint64, QString> rows[] = {
            {b, kMinute, u"B"_s}, // the newest; of two as new, the earlier name
            {b, VirtualDJHistory::kFreshnessLimitMSecs, u"(none)"_s},
            // The last qualifying line; the artist in another case.
            {"#EXTVDJ:<title>A</title>\n#EXTVDJ:<artist>artist</artist><title>ARTIST - Song</title>\n/b.mp3\n"
             "#EXTVDJ:<title> </title>\n#EXTVDJ:<title>Cut off\n#EXTINF:<title>Other</title>\n"_ba,
             kMinute, u"Song"_s},
            {"#EXTVDJ:<title>Song - Band</title><artist>Band</artist>\n"_ba, kMinute, u"Song - Band"_s},
            // A byte-order mark and CRLF line ends stay out of the title; an escaped entity stays escaped.
            {"\xEF\xBB\xBF#EXTVDJ:<title> Déjà &amp;lt;&quot;&apos;&gt; </title>\r\n/b.mp3\r\n"_ba, kMinute,
             u"Déjà &lt;\"'>"_s},
            {"#EXTM3U\n/b.mp3\n"_ba, kMinute, u"(none)"_s},
            {"#EXTVDJ:<title>Caf\xE9</title>\n"_ba, kMinute, u"(none)"_s}, // not UTF-8
            // No bytes: "b.m3u" links to /proc/self/mem, whose every read at offset 0 fails with EIO as a
            // bad disk block would, and which is modified at the moment it is first looked at.
            {QByteArray(), 0, u"(none)"_s}};
        for (const auto &[bytes, ageMSecs, title] : rows) {
            TestFixture fixture;
            write(fixture, u"a.m3u"_s, "#EXTVDJ:<title>Older</title>\n"_ba, ageMSecs + kMinute);
            if (bytes.isNull())
                QVERIFY(QFile::link(u"/proc/self/mem"_s, fixture.path(u"History/b.m3u"_s)));
            else
                write(fixture, u"b.m3u"_s, bytes, ageMSecs);
            write(fixture, u"c.m3u"_s, "#EXTVDJ:<title>Later name</title>\n"_ba, ageMSecs);
            write(fixture, u".hidden.m3u"_s, "#EXTVDJ:<title>Hidden</title>\n"_ba, 0);
            write(fixture, u"notes.txt"_s, "#EXTVDJ:<title>Text</title>\n"_ba, 0);
            QCOMPARE(titleOf(VirtualDJHistory::newestTrack(fixture.path(u"History"_s), kNow)), title);
        }
    }

    void currentTrack_choosesPathAcrossLooks()
    {
        // The DJ software's open files at each look ("A B|B" is two looks), and the title after each.
        const DJPlatform serato = DJPlatform::serato;
        const std::tuple<DJPlatform, QString, QString> rows[] = {
            {serato, u"A|A B|A B|B A"_s, u"A|B|B|B"_s}, // a new file wins, and stays while open in any order
            {serato, u"A B|A B C|B A"_s, u"A|C|B"_s},   // its fallback is the first open file
            {serato, u"A A|A B B|A A"_s, u"A|B|A"_s},   // duplicates
            {serato, u"A B||B A"_s, u"A|(none)|B"_s},   // never VirtualDJ's history, although it is fresh
            {serato, u"notes.txt A|A cover.jpg B.FLAC|cover.jpg"_s, u"A|B|(none)"_s}, // audio only, any case
            // A was open before the history answer; without a fresh start B would win as the new file.
            {DJPlatform::virtualDJ, u"A|notes.txt|A B"_s, u"A|From History|A"_s}};
        for (const auto &[platform, looks, titles] : rows) {
            Harness harness(platform);
            QStringList seen;
            for (const QString &look : looks.split(u'|'))
                seen.append(harness.look(look));
            QCOMPARE(seen.join(u'|'), titles);
        }
    }

    // The monitor of this computer looks in the background: a poll past the cache answers at once from
    // the last look (the server thread answers commands too), and polls meanwhile start no more looks.
    // Also guards against the cache freezing for as long as the wall clock was set back.
    void currentTrack_answersFromCacheWhileALookRunsBehindIt()
    {
        Harness harness(DJPlatform::serato, true);
        QCOMPARE(harness.look(u"A"_s), u"A"_s);
        std::promise<void> release;
        harness.lister->setDuringLook([released = release.get_future().share()] { released.wait_for(10s); });
        harness.lister->set(kSeratoID, {u"/Music/A.mp3"_s, u"/Music/B.mp3"_s});
        QStringList answers;
        for (const qint64 step : {NowPlayingMonitor::kCacheLifetimeMSecs - 1, qint64(-3'600'000),
                                  NowPlayingMonitor::kCacheLifetimeMSecs, qint64(0)}) {
            harness.clock->advance(step);
            answers.append(titleOf(harness.monitor->currentTrack()));
        }
        QCOMPARE(answers, (QStringList{u"A"_s, u"A"_s, u"A"_s, u"A"_s}));
        release.set_value();
        QTRY_COMPARE(titleOf(harness.monitor->currentTrack()), u"B"_s);
        QCOMPARE(harness.lister->looks(), 2);
    }
};

QTEST_GUILESS_MAIN(NowPlayingTest)
#include "tst_nowplaying.moc"
