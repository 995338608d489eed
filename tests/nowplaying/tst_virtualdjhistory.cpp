#include "nowplaying/virtualdjhistory.h"
#include "support/testfixture.h"
#include "trackinfoprinting.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kNow = 1'780'000'000'000;
constexpr qint64 kMinute = 60'000;

std::optional<TrackInfo> track(const QString &title)
{
    return TrackInfo{title, std::nullopt};
}

QByteArray playlist(const QByteArray &title)
{
    return "#EXTM3U\n#EXTVDJ:<time>21:04</time><title>"_ba + title + "</title>\n/Music/x.mp3\n"_ba;
}

} // namespace

class TestVirtualDJHistory : public QObject
{
    Q_OBJECT

private:
    // Writes a file into the history folder, modified the given time before kNow.
    static void write(const TestFixture &fixture, const QString &name, const QByteArray &bytes,
                      qint64 ageMSecs)
    {
        QFile file(fixture.writeFile(u"History/"_s + name, bytes));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(kNow - ageMSecs),
                                 QFileDevice::FileModificationTime));
    }

    static std::optional<TrackInfo> newest(const TestFixture &fixture)
    {
        return VirtualDJHistory::newestTrack(fixture.path(u"History"_s), kNow);
    }

private Q_SLOTS:
    void newestTrack_takesNewestPlaylist_data();
    void newestTrack_takesNewestPlaylist();
    void newestTrack_givesTiesToFirstName();
    void newestTrack_honoursFreshnessLimit_data();
    void newestTrack_honoursFreshnessLimit();
    void newestTrack_readsPlaylistText_data();
    void newestTrack_readsPlaylistText();
    void newestTrack_givesNothingWithoutPlaylist_data();
    void newestTrack_givesNothingWithoutPlaylist();
    void newestTrack_givesNothingForUnreadableNewest_data();
    void newestTrack_givesNothingForUnreadableNewest();
};

void TestVirtualDJHistory::newestTrack_takesNewestPlaylist_data()
{
    QTest::addColumn<QString>("olderName");
    QTest::addColumn<QString>("newerName");

    QTest::newRow("newer sorts last") << u"2025-06-13.m3u"_s << u"2025-06-14.m3u"_s;
    QTest::newRow("newer sorts first") << u"b.m3u"_s << u"a.m3u"_s;
    QTest::newRow("upper-case extension") << u"a.m3u"_s << u"Wedding.M3U"_s;
}

void TestVirtualDJHistory::newestTrack_takesNewestPlaylist()
{
    QFETCH(QString, olderName);
    QFETCH(QString, newerName);

    TestFixture fixture;
    write(fixture, olderName, playlist("Older"), 10 * kMinute);
    write(fixture, newerName, playlist("Newer"), 9 * kMinute);
    write(fixture, u"notes.txt"_s, playlist("Text"), kMinute);
    write(fixture, u"later.m3u8"_s, playlist("Extended"), kMinute);
    write(fixture, u".hidden.m3u"_s, playlist("Hidden"), kMinute);
    QVERIFY(QDir().mkpath(fixture.path(u"History/folder.m3u"_s)));

    QCOMPARE(newest(fixture), track(u"Newer"_s));
}

void TestVirtualDJHistory::newestTrack_givesTiesToFirstName()
{
    TestFixture fixture;
    write(fixture, u"b.m3u"_s, playlist("B"), kMinute);
    write(fixture, u"a.m3u"_s, playlist("A"), kMinute);
    write(fixture, u"c.m3u"_s, playlist("C"), kMinute);

    QCOMPARE(newest(fixture), track(u"A"_s));
}

void TestVirtualDJHistory::newestTrack_honoursFreshnessLimit_data()
{
    QTest::addColumn<qint64>("ageMSecs");
    QTest::addColumn<bool>("fresh");

    QTest::newRow("a second under 12 hours") << VirtualDJHistory::kFreshnessLimitMSecs - 1000 << true;
    QTest::newRow("12 hours") << VirtualDJHistory::kFreshnessLimitMSecs << false;
    QTest::newRow("a day") << 2 * VirtualDJHistory::kFreshnessLimitMSecs << false;
    QTest::newRow("in the future") << -kMinute << true;
}

void TestVirtualDJHistory::newestTrack_honoursFreshnessLimit()
{
    QFETCH(qint64, ageMSecs);
    QFETCH(bool, fresh);

    TestFixture fixture;
    write(fixture, u"2025-06-14.m3u"_s, playlist("Song"), ageMSecs);

    QCOMPARE(newest(fixture), fresh ? track(u"Song"_s) : std::nullopt);
}

void TestVirtualDJHistory::newestTrack_readsPlaylistText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<TrackInfo>>("expected");

    QTest::newRow("UTF-8") << "#EXTVDJ:<title>Déjà Vu</title>\n"_ba << track(u"Déjà Vu"_s);
    // Guards against a byte-order mark or CRLF line ends leaking into the title.
    QTest::newRow("BOM and CRLF") << "\xEF\xBB\xBF#EXTVDJ:<title>Song</title>\r\n/Music/a.mp3\r\n"_ba
                                  << track(u"Song"_s);
    QTest::newRow("no qualifying line") << "#EXTM3U\n/Music/a.mp3\n"_ba << std::optional<TrackInfo>();
    QTest::newRow("not UTF-8") << "#EXTVDJ:<title>Caf\xE9</title>\n"_ba << std::optional<TrackInfo>();
}

void TestVirtualDJHistory::newestTrack_readsPlaylistText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<TrackInfo>, expected);

    TestFixture fixture;
    write(fixture, u"older.m3u"_s, playlist("Older"), 2 * kMinute);
    write(fixture, u"newer.m3u"_s, bytes, kMinute);

    QCOMPARE(newest(fixture), expected);
}

void TestVirtualDJHistory::newestTrack_givesNothingWithoutPlaylist_data()
{
    QTest::addColumn<QString>("folder");

    QTest::newRow("missing folder") << u"Missing"_s;
    QTest::newRow("no playlist") << u"History"_s;
}

void TestVirtualDJHistory::newestTrack_givesNothingWithoutPlaylist()
{
    QFETCH(QString, folder);

    TestFixture fixture;
    write(fixture, u"notes.txt"_s, playlist("Text"), kMinute);
    write(fixture, u".hidden.m3u"_s, playlist("Hidden"), kMinute);

    QCOMPARE(VirtualDJHistory::newestTrack(fixture.path(folder), kNow), std::nullopt);
}

void TestVirtualDJHistory::newestTrack_givesNothingForUnreadableNewest_data()
{
    QTest::addColumn<bool>("permissionDenied");

    QTest::newRow("read error") << false;
    QTest::newRow("permission denied") << true;
}

void TestVirtualDJHistory::newestTrack_givesNothingForUnreadableNewest()
{
    QFETCH(bool, permissionDenied);

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    TestFixture fixture;
    write(fixture, u"older.m3u"_s, playlist("Older"), kNow - now + 2 * kMinute);
    const QString newer = fixture.path(u"History/newer.m3u"_s);
    if (permissionDenied) {
        if (::geteuid() == 0)
            QSKIP("root reads every file, whatever its permissions");
        write(fixture, u"newer.m3u"_s, playlist("Newer"), kNow - now);
        QVERIFY(QFile::setPermissions(newer, QFileDevice::Permissions()));
    } else {
        // Every read of /proc/self/mem at offset 0 fails with EIO, as a bad disk block would; its
        // modification time is the moment it is first looked at.
        QVERIFY(QFile::link(u"/proc/self/mem"_s, newer));
    }

    QCOMPARE(VirtualDJHistory::newestTrack(fixture.path(u"History"_s), now + kMinute), std::nullopt);
}

QTEST_GUILESS_MAIN(TestVirtualDJHistory)
#include "tst_virtualdjhistory.moc"
