#include "nowplaying/lsofopenfileslister.h"
#include "nowplaying/nowplayingmonitor.h"
#include "nowplaying/procopenfileslister.h"
#include "support/testfixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestOpenFilesListers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lsofOpenPaths_givesNothingOnFailure()
    {
        // Cannot start (not executable), hangs, prints a name that is not UTF-8.
        for (const QByteArray &script : {QByteArray(), "printf 'n/a.mp3\\n'; exec sleep 600"_ba,
                                         R"(printf 'n/a.mp3\nn/Caf\351.mp3\n')"_ba}) {
            TestFixture fixture;
            const QString lsof = fixture.writeFile(u"fake-lsof"_s, "#!/bin/sh\n"_ba + script + '\n');
            if (!script.isEmpty())
                QVERIFY(QFile::setPermissions(lsof, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            QCOMPARE(LsofOpenFilesLister(lsof, 300).openPaths(4242), QStringList());
        }
    }

    // A child of this test stands in for the DJ software: it takes its name, maps one file (visible
    // through the mapping alone once its descriptor is closed) and holds two more open.
    void realProcess_listersAgreeAndMonitorReportsTitle()
    {
        TestFixture fixture;
        const QStringList paths = {fixture.writeFile(u"Music/Mapped - Sample.wav"_s, QByteArray(4096, 'x')),
                                   fixture.writeFile(u"Music/notes.txt"_s, "set list"_ba),
                                   // The test runs with LC_ALL=C: lsof must still print this name as UTF-8.
                                   fixture.writeFile(u"Music/Beyoncé - Déjà Vu.FLAC"_s, "audio"_ba)};
        const QByteArray names[] = {paths[0].toUtf8(), paths[1].toUtf8(), paths[2].toUtf8()};
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // Only system calls here: the child of a threaded process must not allocate.
            const int file = ::open(names[0].constData(), O_RDONLY);
            const bool held = ::prctl(PR_SET_NAME, "Serato DJ Pro") == 0
                              && ::mmap(nullptr, 1, PROT_READ, MAP_SHARED, file, 0) != MAP_FAILED
                              && ::close(file) == 0 && ::open(names[1].constData(), O_RDONLY) >= 0
                              && ::open(names[2].constData(), O_RDONLY) >= 0;
            if (held && ::write(ready[1], "r", 1) == 1)
                ::pause();
            ::_exit(1);
        }
        ::close(ready[1]);
        char state = 0;
        const bool childReady = ::read(ready[0], &state, 1) == 1;
        const QStringList lsofPaths = LsofOpenFilesLister().openPaths(child);
        const QStringList procPaths = ProcOpenFilesLister().openPaths(child);
        const auto track = NowPlayingMonitor::createForSystem(DJPlatform::serato)->currentTrack();
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);

        QVERIFY(childReady);
        QCOMPARE(lsofPaths.filter(fixture.path(u"Music/"_s)), paths);
        // /proc names no pipes or sockets.
        QCOMPARE(procPaths, lsofPaths.filter(QRegularExpression(u"^/"_s)));
        QCOMPARE(track.value_or(TrackInfo{}).title, u"Sample"_s);
    }
};

QTEST_GUILESS_MAIN(TestOpenFilesListers)
#include "tst_openfileslisters.moc"
