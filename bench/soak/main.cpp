#include "processsample.h"
#include "soakpeers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 kSeratoPort = 53731;
constexpr int kPhones = 3;
constexpr int kSampleMSecs = 10'000;
constexpr qint64 kSettledSeconds = 60;

void printSample(const char *label, const ProcessSample &sample)
{
    std::printf("%-6s %5lld s  RSS %7lld KiB  descriptors %4lld  threads %3lld  connections %4lld\n", label,
                sample.seconds, sample.rssKiB, sample.descriptors, sample.threads, sample.connections);
}

// The largest difference from the first sample after the first minute, for each figure.
void printDrift(const std::vector<ProcessSample> &samples)
{
    const auto settled = std::find_if(samples.begin(), samples.end(), [](const ProcessSample &sample) {
        return sample.seconds >= kSettledSeconds;
    });
    if (settled == samples.end())
        return;
    ProcessSample drift;
    // Descriptors other than the connections' sockets, which come and go with the peers.
    qint64 otherDescriptors = 0;
    const auto largest = [](qint64 &kept, qint64 difference) {
        if (std::abs(difference) > std::abs(kept))
            kept = difference;
    };
    for (auto sample = settled; sample != samples.end(); ++sample) {
        largest(drift.rssKiB, sample->rssKiB - settled->rssKiB);
        largest(drift.descriptors, sample->descriptors - settled->descriptors);
        largest(drift.threads, sample->threads - settled->threads);
        largest(drift.connections, sample->connections - settled->connections);
        largest(otherDescriptors,
                (sample->descriptors - sample->connections) - (settled->descriptors - settled->connections));
    }
    std::printf("largest drift after %lld s: RSS %+lld KiB, descriptors %+lld (besides connections %+lld), "
                "threads %+lld, connections %+lld\n",
                settled->seconds, drift.rssKiB, drift.descriptors, otherDescriptors, drift.threads,
                drift.connections);
}

// Waits for a line of the connector's headless output that starts with the prefix; its rest.
std::optional<QString> awaitLine(QProcess &connector, QLatin1StringView prefix)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60'000) {
        while (connector.canReadLine()) {
            const QString line = QString::fromUtf8(connector.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line.sliced(prefix.size());
        }
        if (!connector.waitForReadyRead(1000) && connector.state() == QProcess::NotRunning)
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> pairPhone(const QString &code)
{
    const QByteArray body = R"({"code":")" + code.toLatin1() + R"("})";
    std::optional<QString> token;
    QEventLoop loop;
    exchange(&loop, QHostAddress::LocalHost, kSeratoPort,
             "POST /api/pair HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
                 + body,
             [&](const QByteArray &answer) {
                 const QJsonObject object =
                     QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
                 if (object.value(u"token"_s).isString())
                     token = object.value(u"token"_s).toString();
                 loop.quit();
             });
    loop.exec();
    return token;
}

int fail(const char *message)
{
    std::fprintf(stderr, "bench_soak: %s\n", message);
    return 1;
}

} // namespace

// Runs the real connector headless in a temporary home for a while under three paired phones and
// hostile peers on loopback, and prints how its memory, descriptors, threads and connections move.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const qsizetype minutesAt = arguments.indexOf(u"--minutes"_s);
    const int minutes = minutesAt >= 0 ? arguments.value(minutesAt + 1).toInt() : 10;
    if (minutes < 1)
        return fail("usage: bench_soak [--minutes N]");

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u".config"_s));
    environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u".local/share"_s));
    QProcess connector;
    connector.setProcessEnvironment(environment);
    connector.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connector.start(QCoreApplication::applicationDirPath() + u"/tarvik-dj-connector"_s,
                    {u"--headless"_s, u"--platform"_s, u"serato"_s});
    const std::optional<QString> code = awaitLine(connector, "Pairing code: "_L1);
    if (!code || !awaitLine(connector, "Ready on"_L1))
        return fail("the connector did not start and listen on port 53731 (is another one running?)");
    // Its further output is not needed; reading it keeps the pipe from filling.
    QObject::connect(&connector, &QProcess::readyReadStandardOutput, &connector,
                     [&connector] { connector.readAllStandardOutput(); });

    std::vector<std::unique_ptr<SimulatedPhone>> phones;
    for (int number = 0; number < kPhones; ++number) {
        const std::optional<QString> token = pairPhone(*code);
        if (!token)
            return fail("a phone could not pair");
        phones.push_back(std::make_unique<SimulatedPhone>(number, *token, kSeratoPort));
    }
    HostilePeers hostile(kSeratoPort);

    std::printf("soak: %d minutes, %d phones, 200 idle connections, 4 dripping, random bytes every second\n",
                minutes, kPhones);
    std::vector<ProcessSample> samples;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &application, [&] {
        samples.push_back(ProcessSample::take(connector.processId(), kSeratoPort, elapsed.elapsed() / 1000));
        std::fflush(stdout);
        if (elapsed.elapsed() >= minutes * 60'000LL)
            application.quit();
    });
    sampler.start(kSampleMSecs);
    application.exec();

    hostile.stop();
    for (const std::unique_ptr<SimulatedPhone> &phone : phones)
        phone->stop();
    QElapsedTimer draining;
    draining.start();
    const auto unanswered = [&] {
        qint64 count = 0;
        for (const std::unique_ptr<SimulatedPhone> &phone : phones)
            count += phone->unanswered();
        return count;
    };
    while (unanswered() > 0 && draining.elapsed() < 20'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);

    printSample("first", samples.front());
    printSample("last", samples.back());
    printDrift(samples);
    RequestCounts status, commands, scripts;
    for (const std::unique_ptr<SimulatedPhone> &phone : phones) {
        for (auto [total, part] :
             {std::pair{&status, phone->status()}, std::pair{&commands, phone->commands()},
              std::pair{&scripts, phone->scripts()}}) {
            total->sent += part.sent;
            total->answered += part.answered;
        }
    }
    std::printf("phone requests answered: status %lld/%lld, commands %lld/%lld, script saves %lld/%lld\n",
                status.answered, status.sent, commands.answered, commands.sent, scripts.answered,
                scripts.sent);
    std::printf("hostile connections: %lld idle, %lld dripping, %lld random\n", hostile.idleConnections(),
                hostile.dripConnections(), hostile.randomConnections());

    connector.terminate();
    if (!connector.waitForFinished(30'000) || connector.exitCode() != 0)
        return fail("the connector did not stop cleanly on SIGTERM");
    return unanswered() == 0 ? 0 : fail("not every phone request was answered with 200");
}
