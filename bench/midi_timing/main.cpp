// Measures how late the MIDI timer thread sends what it schedules: each note-off against its
// note-on plus the hold time, and each later advance step against the step before plus its delay.
// Prints median, 99th percentile and maximum error in microseconds. Then how long a deck report from
// the DJ software takes from its arrival at the input to the router's expectation changing.
//
//   build/debug/bin/bench_midi_timing
//
// Runs through the in-memory output, then through JACK when a server runs (received by a JACK MIDI
// input, so those figures include JACK's period).

#include "core/mainthread.h"
#include "midi/miditransport.h"
#include "router/commandrouter.h"
#include "support/recordingmidioutput.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <RtMidi.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int kPulses = 500;
constexpr int kAdvances = 100;
constexpr auto kPulseSpacing = 2ms;
constexpr auto kAdvanceSpacing = 20ms;
constexpr int kReports = 300;

struct Event
{
    MIDIMessageLog::Bytes bytes;
    SteadyClock::time_point time;
};

// Somewhere the MIDI ends up, with the time each message arrived there.
class Sink
{
public:
    virtual ~Sink() = default;
    virtual std::shared_ptr<MIDITransport> transport(DJPlatform platform) = 0;
    virtual bool waitForCount(std::size_t count) = 0;
    virtual std::vector<Event> take() = 0;
};

class MemorySink final : public Sink
{
public:
    std::shared_ptr<MIDITransport> transport(DJPlatform platform) override
    {
        RecordingMIDIOutput::Recorded recorded = RecordingMIDIOutput::transport(platform);
        m_log = recorded.log;
        m_taken = 0;
        return recorded.transport;
    }
    bool waitForCount(std::size_t count) override { return m_log->waitForCount(m_taken + count, 60s); }
    std::vector<Event> take() override
    {
        const std::vector<MIDIMessageLog::Message> messages = m_log->messages();
        std::vector<Event> events;
        for (std::size_t index = m_taken; index < messages.size(); ++index)
            events.push_back({messages[index].bytes, messages[index].time});
        m_taken = messages.size();
        return events;
    }

private:
    std::shared_ptr<MIDIMessageLog> m_log;
    std::size_t m_taken = 0;
};

std::set<std::string> portNames(RtMidi &ports)
{
    std::set<std::string> names;
    for (unsigned int port = 0; port < ports.getPortCount(); ++port)
        names.insert(ports.getPortName(port));
    return names;
}

// The one port that appeared since `before`, the connector's: another connector on the same JACK
// server may hold the device's plain name, and JACK renames ours. None when it is not one.
std::optional<unsigned int> addedPort(RtMidi &ports, const std::set<std::string> &before)
{
    std::optional<unsigned int> added;
    for (unsigned int port = 0; port < ports.getPortCount(); ++port) {
        if (before.contains(ports.getPortName(port)))
            continue;
        if (added)
            return std::nullopt;
        added = port;
    }
    return added;
}

class JackSink final : public Sink
{
public:
    std::shared_ptr<MIDITransport> transport(DJPlatform platform) override
    {
        m_input = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "bench_midi_timing listener");
        const std::set<std::string> before = portNames(*m_input);
        std::shared_ptr<MIDITransport> transport = MIDITransport::create(platform);
        if (transport->startupError())
            return nullptr;
        const std::optional<unsigned int> source = addedPort(*m_input, before);
        if (!source)
            return nullptr;
        m_input->setCallback(&JackSink::received, this);
        m_input->openPort(*source, "in");
        if (!m_input->isPortOpen())
            return nullptr;
        // Wait until JACK has made the connection.
        for (int attempt = 0; attempt < 500 && !waitForCount(1, 20ms); ++attempt)
            transport->setControlChange(21, 0);
        std::this_thread::sleep_for(100ms);
        take();
        return transport;
    }
    bool waitForCount(std::size_t count) override { return waitForCount(count, 60s); }
    std::vector<Event> take() override
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_events, {});
    }

private:
    bool waitForCount(std::size_t count, SteadyClock::duration timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_events.size() >= count; });
    }
    static void received(double, std::vector<unsigned char> *bytes, void *self)
    {
        const SteadyClock::time_point now = SteadyClock::now();
        auto *sink = static_cast<JackSink *>(self);
        if (bytes->size() != 3)
            return;
        {
            std::lock_guard lock(sink->m_mutex);
            sink->m_events.push_back({{(*bytes)[0], (*bytes)[1], (*bytes)[2]}, now});
        }
        sink->m_changed.notify_all();
    }

    std::unique_ptr<RtMidiIn> m_input;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

// The k-th arrival of each message (status, note), in order.
std::map<std::pair<int, int>, std::vector<SteadyClock::time_point>>
byMessage(const std::vector<Event> &events)
{
    std::map<std::pair<int, int>, std::vector<SteadyClock::time_point>> result;
    for (const Event &event : events)
        result[{event.bytes[0], event.bytes[1]}].push_back(event.time);
    return result;
}

// Error of each `later` against `earlier` plus `delay`, pairing each with the `earlier` that fits best:
// JACK may lose a message when its server runs late, and a lost one must not shift every pair after it.
void addErrors(std::vector<double> &errors, const std::vector<SteadyClock::time_point> &earlier,
               const std::vector<SteadyClock::time_point> &later, SteadyClock::duration delay)
{
    if (earlier.empty())
        return;
    for (const SteadyClock::time_point arrival : later) {
        const SteadyClock::time_point target = arrival - delay;
        auto best = std::lower_bound(earlier.cbegin(), earlier.cend(), target);
        if (best == earlier.cend()
            || (best != earlier.cbegin() && target - *std::prev(best) < *best - target))
            best = best == earlier.cbegin() ? best : std::prev(best);
        errors.push_back(std::chrono::duration<double, std::micro>(arrival - *best - delay).count());
    }
}

void print(const char *path, const char *what, std::vector<double> errors)
{
    if (errors.empty()) {
        std::printf("%-9s %-40s no samples\n", path, what);
        return;
    }
    std::sort(errors.begin(), errors.end());
    const auto at = [&](double quantile) {
        return errors[std::min(errors.size() - 1,
                               static_cast<std::size_t>(std::ceil(quantile * errors.size())) - 1)];
    };
    std::printf("%-9s %-40s n=%4zu  median %8.1f  p99 %8.1f  max %8.1f\n", path, what, errors.size(), at(0.5),
                at(0.99), errors.back());
}

void benchPulses(const char *path, Sink &sink, DJPlatform platform)
{
    const std::shared_ptr<MIDITransport> transport = sink.transport(platform);
    if (!transport) {
        std::printf("%-9s no transport for %s\n", path, qPrintable(displayName(platform)));
        return;
    }
    for (int index = 0; index < kPulses; ++index) {
        transport->pulse(static_cast<std::uint8_t>(40 + index % 40));
        std::this_thread::sleep_for(kPulseSpacing);
    }
    if (!sink.waitForCount(2 * kPulses))
        std::printf("%-9s messages lost\n", path);
    auto arrivals = byMessage(sink.take());
    std::vector<double> errors;
    for (int note = 0; note < 128; ++note)
        addErrors(errors, arrivals[{0x9F, note}], arrivals[{0x8F, note}], MIDITransport::holdTime(platform));
    const QByteArray what = displayName(platform).toUtf8() + " pulse note-off";
    print(path, what.constData(), errors);
}

void benchAdvances(const char *path, Sink &sink)
{
    const std::shared_ptr<MIDITransport> transport = sink.transport(DJPlatform::serato);
    if (!transport) {
        std::printf("%-9s no transport for the advance sequences\n", path);
        return;
    }
    QTemporaryDir folder;
    auto settings = std::make_shared<QSettings>(folder.filePath(u"settings.ini"_s), QSettings::IniFormat);
    const auto router = std::make_shared<CommandRouter>(DJPlatform::serato, transport, settings);
    router->handle(RemoteCommand::play, DeckSide::left);
    sink.waitForCount(2);
    sink.take();

    for (int index = 0; index < kAdvances; ++index) {
        router->handle(RemoteCommand::advance, DeckSide::left);
        std::this_thread::sleep_for(kAdvanceSpacing);
    }
    if (!sink.waitForCount(6 * kAdvances))
        std::printf("%-9s messages lost\n", path);
    auto arrivals = byMessage(sink.take());
    const auto &stopOn = arrivals[{0x9F, 83}];
    const auto &advanceOn = arrivals[{0x9F, 82}];
    const auto &playOn = arrivals[{0x9F, 80}];
    const auto hold = MIDITransport::holdTime(DJPlatform::serato);

    std::vector<double> steps;
    addErrors(steps, stopOn, advanceOn, 120ms);
    addErrors(steps, advanceOn, playOn, 250ms);
    print(path, "Serato advance steps (+120 ms, +250 ms)", steps);
    std::vector<double> noteOffs;
    addErrors(noteOffs, stopOn, arrivals[{0x8F, 83}], hold);
    addErrors(noteOffs, advanceOn, arrivals[{0x8F, 82}], hold);
    addErrors(noteOffs, playOn, arrivals[{0x8F, 80}], hold);
    print(path, "Serato advance note-offs", noteOffs);
}

// Sends reports one at a time, alternating playing and not playing for the left deck, and waits on a
// thread of its own for each to change the expectation, while the main thread delivers them. `send`
// returns the time the report reached the connector's input, or none when it could not be sent.
void benchReports(const char *path, DJPlatform platform, const std::shared_ptr<MIDITransport> &transport,
                  const std::function<void(bool playing)> &send)
{
    QTemporaryDir folder;
    auto settings = std::make_shared<QSettings>(folder.filePath(u"settings.ini"_s), QSettings::IniFormat);
    const auto router = std::make_shared<CommandRouter>(platform, transport, settings);
    router->listenToDeckReports();

    std::vector<double> latencies;
    QEventLoop loop;
    std::thread reporter([&] {
        for (int index = 0; index < kReports; ++index) {
            const bool playing = index % 2 == 0;
            const QString wanted = playing ? u"playing"_s : u"paused"_s;
            for (int attempt = 0; attempt < 3; ++attempt) {
                const SteadyClock::time_point sent = SteadyClock::now();
                send(playing);
                // JACK may drop a message when its server runs late: after a second the report is sent again.
                while (router->expectedState(DeckSide::left) != wanted && SteadyClock::now() - sent < 1s)
                    std::this_thread::yield();
                if (router->expectedState(DeckSide::left) == wanted) {
                    latencies.push_back(
                        std::chrono::duration<double, std::micro>(SteadyClock::now() - sent).count());
                    break;
                }
            }
            std::this_thread::sleep_for(kPulseSpacing);
        }
        postToMainThread([&loop] { loop.quit(); });
    });
    loop.exec();
    reporter.join();
    print(path, "deck report to expectation", latencies);
}

// The DJ software's side on JACK: an output connected to the connector's destination.
void benchJackReports()
{
    RtMidiOut dj(RtMidi::UNIX_JACK, "bench_midi_timing DJ");
    const std::set<std::string> before = portNames(dj);
    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(DJPlatform::serato);
    if (const std::optional<unsigned int> destination = addedPort(dj, before))
        dj.openPort(*destination, "out");
    if (transport->startupError() || !dj.isPortOpen()) {
        std::printf("JACK      no destination for the deck reports\n");
        return;
    }
    // JACK makes the connection in its own time.
    std::this_thread::sleep_for(500ms);
    benchReports("JACK", DJPlatform::serato, transport, [&dj](bool playing) {
        const std::vector<unsigned char> message{0x9F, 80, static_cast<unsigned char>(playing ? 127 : 0)};
        dj.sendMessage(&message);
    });
}

bool jackRunning()
{
    QProcess lister;
    lister.start(u"jack_lsp"_s, {});
    return lister.waitForFinished(10000) && lister.exitStatus() == QProcess::NormalExit
           && lister.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    std::printf("Scheduling error, actual minus target, and report latency, in microseconds\n");

    MemorySink memory;
    benchPulses("in-memory", memory, DJPlatform::serato);
    benchPulses("in-memory", memory, DJPlatform::virtualDJ);
    benchAdvances("in-memory", memory);
    const RecordingMIDIOutput::Recorded recorded = RecordingMIDIOutput::transport(DJPlatform::serato);
    benchReports("in-memory", DJPlatform::serato, recorded.transport, [&recorded](bool playing) {
        recorded.input->send({0x9F, 80, static_cast<std::uint8_t>(playing ? 127 : 0)});
    });

    if (!jackRunning()) {
        std::printf("JACK      no server running: skipped\n");
        return 0;
    }
    JackSink jack;
    benchPulses("JACK", jack, DJPlatform::serato);
    benchPulses("JACK", jack, DJPlatform::virtualDJ);
    benchAdvances("JACK", jack);
    benchJackReports();
    return 0;
}
