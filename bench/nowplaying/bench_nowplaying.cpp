// The cost of one real look at the DJ software's open files, through lsof and through /proc, for a
// process holding 200 open files (half of them audio). Prints median and 99th percentile in µs.

#include "nowplaying/lsofopenfileslister.h"
#include "nowplaying/nowplayingmonitor.h"
#include "nowplaying/procopenfileslister.h"
#include "nowplaying/systemrunningapplications.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kOpenFiles = 200;

// Moves one second per reading, so that every call of the monitor looks instead of using its cache.
class SteppingClock final : public Clock
{
public:
    qint64 nowMSecsSinceEpoch() const override { return m_now.fetch_add(1000); }

private:
    mutable std::atomic<qint64> m_now = 1'780'000'000'000;
};

// A child named like the DJ software that holds the files open until the pipe closes.
pid_t startHolder(const QStringList &files, int &release)
{
    int ready[2];
    int hold[2];
    if (::pipe(ready) != 0 || ::pipe(hold) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "Serato DJ Pro");
        for (const QString &file : files) {
            if (::open(QFile::encodeName(file).constData(), O_RDONLY) < 0)
                ::_exit(1);
        }
        char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        ::close(hold[1]);
        while (::read(hold[0], &byte, 1) > 0) {
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(hold[0]);
    release = hold[1];
    char byte = 0;
    const bool started = child > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return started ? child : -1;
}

bool measure(const char *label, int runs, const std::function<bool()> &look)
{
    for (int warmUp = 0; warmUp < 5; ++warmUp) {
        if (!look())
            return false;
    }
    std::vector<double> micros;
    micros.reserve(runs);
    QElapsedTimer timer;
    for (int run = 0; run < runs; ++run) {
        timer.start();
        const bool found = look();
        micros.push_back(timer.nsecsElapsed() / 1000.0);
        if (!found)
            return false;
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    std::printf("%-34s runs %5d   median %9.1f µs   p99 %9.1f µs\n", label, runs, median, p99);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir folder;
    QStringList files;
    for (int index = 0; index < kOpenFiles; ++index) {
        const QString name = index % 2 == 0 ? u"Artist %1 - Song %1 [aB3_x9Z].mp3"_s.arg(index)
                                            : u"analysis-%1.dat"_s.arg(index);
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        files.append(file.fileName());
    }
    // Fork before Qt starts any thread.
    int release = -1;
    const pid_t holder = startHolder(files, release);
    if (holder < 0)
        return 1;

    QCoreApplication application(argc, argv);
    const auto applications = std::make_shared<SystemRunningApplications>();
    const auto lsof = std::make_shared<LsofOpenFilesLister>();
    const auto proc = std::make_shared<ProcOpenFilesLister>();
    const auto monitorWith = [&](std::shared_ptr<const OpenFilesLister> lister) {
        return std::make_shared<NowPlayingMonitor>(
            DJPlatform::serato,
            NowPlayingMonitor::Seams{applications, std::move(lister), folder.filePath(u"History"_s),
                                     std::make_shared<SteppingClock>()});
    };
    const auto lsofMonitor = monitorWith(lsof);
    const auto procMonitor = monitorWith(proc);

    std::printf("process %d holding %d open files (%d audio); %lld processes running\n", int(holder),
                kOpenFiles, kOpenFiles / 2, static_cast<long long>(applications->list().size()));
    const bool measured =
        measure("lsof lister, one call", 200, [&] { return lsof->openPaths(holder).size() >= kOpenFiles; })
        && measure("/proc lister, one call", 5000,
                   [&] { return proc->openPaths(holder).size() >= kOpenFiles; })
        && measure("running applications, one call", 5000, [&] { return !applications->list().isEmpty(); })
        && measure("monitor look through lsof", 200, [&] { return lsofMonitor->currentTrack().has_value(); })
        && measure("monitor look through /proc", 5000,
                   [&] { return procMonitor->currentTrack().has_value(); });

    ::close(release);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    if (!measured) {
        std::fprintf(stderr, "a look found nothing\n");
        return 1;
    }
    return 0;
}
