#include "nowplaying/lsofopenfileslister.h"
#include "nowplaying/nowplayingmonitor.h"
#include "nowplaying/nowplayingtext.h"
#include "nowplaying/procopenfileslister.h"
#include "nowplaying/systemrunningapplications.h"
#include "support/testfixture.h"
#include "trackinfoprinting.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// No process can have this identifier: it is the kernel's upper limit for pid_max.
constexpr qint64 kImpossibleProcessID = 4'194'304;

QStringList audioPaths(const QStringList &paths)
{
    QStringList audio;
    for (const QString &path : paths) {
        if (NowPlayingText::isAudioPath(path))
            audio.append(path);
    }
    return audio;
}

QStringList fileSystemPaths(const QStringList &paths)
{
    QStringList files;
    for (const QString &path : paths) {
        if (path.startsWith(u'/'))
            files.append(path);
    }
    return files;
}

// The helper process, killed whatever way the test ends.
class OpenFilesHolder
{
public:
    explicit OpenFilesHolder(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(CONNECTOR_OPEN_FILES_HOLDER), arguments);
    }
    ~OpenFilesHolder()
    {
        m_process.kill();
        m_process.waitForFinished(60'000);
    }

    bool waitUntilReady()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(60'000))
                return false;
        }
        return m_process.readLine() == "ready\n";
    }
    qint64 processID() const { return m_process.processId(); }

private:
    QProcess m_process;
};

} // namespace

class TestOpenFilesListers : public QObject
{
    Q_OBJECT

private:
    static QString writeScript(const TestFixture &fixture, const QByteArray &body)
    {
        const QString path = fixture.writeFile(u"fake-lsof"_s, "#!/bin/sh\n"_ba + body + '\n');
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void parsePaths_takesNameLines_data();
    void parsePaths_takesNameLines();
    void mappedPaths_listsEachFileOnce_data();
    void mappedPaths_listsEachFileOnce();
    void lsofOpenPaths_runsListerWithUtf8Locale();
    void lsofOpenPaths_givesNothingOnFailure_data();
    void lsofOpenPaths_givesNothingOnFailure();
    void openPaths_givesNothingForMissingProcess();
    void realProcess_listersAgreeAndMonitorReportsTitle();
};

void TestOpenFilesListers::parsePaths_takesNameLines_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("paths");

    QTest::newRow("lsof output") << "p812\nfcwd\nn/Users/dj\nftxt\nn/Applications/Serato DJ Pro.app/x\n"
                                    "f3\nn/Music/A - B.mp3\nf4\nnpipe\n"_ba
                                 << QStringList{u"/Users/dj"_s, u"/Applications/Serato DJ Pro.app/x"_s,
                                                u"/Music/A - B.mp3"_s, u"pipe"_s};
    QTest::newRow("duplicates kept") << "n/a.mp3\nn/a.mp3\n"_ba << QStringList{u"/a.mp3"_s, u"/a.mp3"_s};
    QTest::newRow("empty lines dropped") << "\n\nn/a.mp3\n\n"_ba << QStringList{u"/a.mp3"_s};
    QTest::newRow("no final line feed") << "p1\nn/a.mp3"_ba << QStringList{u"/a.mp3"_s};
    QTest::newRow("name only at line start") << "p1 n/a.mp3\nfn\n"_ba << QStringList();
    QTest::newRow("UTF-8") << "n/Musik/Beyonc\xC3\xA9.flac\n"_ba << QStringList{u"/Musik/Beyoncé.flac"_s};
    QTest::newRow("not UTF-8") << "n/a.mp3\nn/Musik/Caf\xE9.mp3\n"_ba << QStringList();
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void TestOpenFilesListers::parsePaths_takesNameLines()
{
    QFETCH(QByteArray, output);
    QFETCH(QStringList, paths);

    QCOMPARE(LsofOpenFilesLister::parsePaths(output), paths);
}

void TestOpenFilesListers::mappedPaths_listsEachFileOnce_data()
{
    QTest::addColumn<QByteArray>("maps");
    QTest::addColumn<QStringList>("paths");

    const QByteArray maps =
        "55d0e000-55d0f000 r--p 00000000 fe:00 100      /opt/serato/bin/serato\n"
        "55d0f000-55d10000 r-xp 00001000 fe:00 100      /opt/serato/bin/serato\n"
        "55d11000-55d40000 rw-p 00000000 00:00 0        [heap]\n"
        "7f0000000000-7f0000001000 r--p 00000000 fe:00 200      /usr/lib/libc.so.6\n"
        "7f0000001000-7f0000002000 r--s 00000000 fe:01 300      /Music/My Set - Song.wav\n"
        "7f0000002000-7f0000003000 r-xp 00001000 fe:00 200      /usr/lib/libc.so.6\n"
        "7f0000003000-7f0000004000 rw-p 00000000 00:00 0 \n"
        "7f0000004000-7f0000005000 r--s 00000000 fe:00 300      /Music/Other.mp3\n"
        "7f0000005000-7f0000006000 r--s 00000000 00:05 400      /memfd:pulseaudio (deleted)\n"
        "7fff00000000-7fff00001000 r-xp 00000000 00:00 0        [vdso]\n"_ba;
    QTest::newRow("process maps") << maps
                                  << QStringList{u"/usr/lib/libc.so.6"_s, u"/Music/My Set - Song.wav"_s,
                                                 u"/Music/Other.mp3"_s, u"/memfd:pulseaudio (deleted)"_s};
    QTest::newRow("not UTF-8 left out")
        << "7f00-7f01 r--s 00000000 fe:00 9 /Musik/Caf\xE9.mp3\n7f01-7f02 r--s 00000000 fe:00 10 /a.mp3\n"_ba
        << QStringList{u"/a.mp3"_s};
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void TestOpenFilesListers::mappedPaths_listsEachFileOnce()
{
    QFETCH(QByteArray, maps);
    QFETCH(QStringList, paths);

    QCOMPARE(ProcOpenFilesLister::mappedPaths(maps, u"/opt/serato/bin/serato"_s), paths);
}

void TestOpenFilesListers::lsofOpenPaths_runsListerWithUtf8Locale()
{
    TestFixture fixture;
    const QString script = writeScript(
        fixture, R"(printf 'p1\nf3\nn/args/%s %s %s.mp3\nn%s\n' "$1" "$2" "$3" "$LC_ALL"; exit 1)"_ba);

    QCOMPARE(LsofOpenFilesLister(script).openPaths(4242),
             (QStringList{u"/args/-Fn -p 4242.mp3"_s, u"C.UTF-8"_s}));
}

void TestOpenFilesListers::lsofOpenPaths_givesNothingOnFailure_data()
{
    QTest::addColumn<QByteArray>("script");

    QTest::newRow("cannot start") << QByteArray();
    QTest::newRow("hangs") << "printf 'n/a.mp3\\n'; exec sleep 600"_ba;
    QTest::newRow("not UTF-8") << R"(printf 'n/a.mp3\nn/Caf\351.mp3\n')"_ba;
}

void TestOpenFilesListers::lsofOpenPaths_givesNothingOnFailure()
{
    QFETCH(QByteArray, script);

    TestFixture fixture;
    const QString executable =
        script.isEmpty() ? fixture.path(u"missing-lsof"_s) : writeScript(fixture, script);

    QCOMPARE(LsofOpenFilesLister(executable, 300).openPaths(4242), QStringList());
}

void TestOpenFilesListers::openPaths_givesNothingForMissingProcess()
{
    QCOMPARE(LsofOpenFilesLister().openPaths(kImpossibleProcessID), QStringList());
    QCOMPARE(ProcOpenFilesLister().openPaths(kImpossibleProcessID), QStringList());
}

void TestOpenFilesListers::realProcess_listersAgreeAndMonitorReportsTitle()
{
    TestFixture fixture;
    const QByteArray audio(4096, 'x');
    const QString mapped = fixture.writeFile(u"Music/Mapped - Sample.wav"_s, audio);
    const QString first = fixture.writeFile(u"Music/Artist - First Song [aB3_x9Z].mp3"_s, audio);
    const QString notes = fixture.writeFile(u"Music/notes.txt"_s, "set list"_ba);
    const QString accented = fixture.writeFile(u"Music/Beyoncé - Déjà Vu.FLAC"_s, audio);
    const QString spaced = fixture.writeFile(u"Music/Crowd - Live  Set .ogg"_s, audio);
    OpenFilesHolder holder({u"Serato DJ Pro"_s, u"--map"_s, mapped, first, notes, accented, spaced});
    QVERIFY(holder.waitUntilReady());

    const RunningApplication expectedApplication{holder.processID(), u"Serato DJ Pro"_s, QString()};
    const QList<RunningApplication> applications = SystemRunningApplications().list();
    QVERIFY(std::any_of(applications.cbegin(), applications.cend(), [&](const RunningApplication &app) {
        return app.processID == expectedApplication.processID && app.name == expectedApplication.name
               && app.bundleIdentifier.isEmpty();
    }));

    const QStringList lsofPaths = LsofOpenFilesLister().openPaths(holder.processID());
    const QStringList procPaths = ProcOpenFilesLister().openPaths(holder.processID());
    QCOMPARE(audioPaths(lsofPaths), (QStringList{mapped, first, accented, spaced}));
    QCOMPARE(audioPaths(procPaths), audioPaths(lsofPaths));
    QVERIFY(procPaths.contains(notes));
    QCOMPARE(procPaths, fileSystemPaths(lsofPaths));

    for (const std::shared_ptr<const OpenFilesLister> &lister :
         {std::shared_ptr<const OpenFilesLister>(std::make_shared<LsofOpenFilesLister>()),
          std::shared_ptr<const OpenFilesLister>(std::make_shared<ProcOpenFilesLister>())}) {
        NowPlayingMonitor monitor(DJPlatform::serato,
                                  {std::make_shared<SystemRunningApplications>(), lister,
                                   fixture.path(u"History"_s), std::make_shared<SystemClock>()});
        QCOMPARE(monitor.currentTrack(), (TrackInfo{u"Sample"_s, std::nullopt}));
    }
    QCOMPARE(NowPlayingMonitor::createForSystem(DJPlatform::serato)->currentTrack(),
             (TrackInfo{u"Sample"_s, std::nullopt}));
}

QTEST_GUILESS_MAIN(TestOpenFilesListers)
#include "tst_openfileslisters.moc"
