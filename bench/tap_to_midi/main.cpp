// Tap to MIDI: from the moment the first byte of a POST /api/command is written to the connector's
// server until its note-on arrives at a JACK MIDI input connected to the virtual device. The server,
// router and MIDI transport are the real ones, in this process; the transport is JACK's when there is
// no ALSA sequencer. Prints median, p99 and maximum with the JACK period they include, the commands
// answered whose note-on never arrived ("lost") and the JACK server's late cycles (xruns) meanwhile:
// a late cycle can drop MIDI between any two JACK clients, and on a loaded machine with a
// non-real-time server notes go missing that way, at the same rate from a bare JACK client.
//
//   build/release/bin/bench_tap_to_midi [COMMANDS]     (default 1000)

#include "router/commandrouter.h"
#include "server/remoteserver.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr DJPlatform kPlatform = DJPlatform::serato;

// A JACK MIDI input that notes the arrival time of every note-on, taken in its process callback.
class NoteOnListener
{
public:
    NoteOnListener()
    {
        m_client = jack_client_open("bench_tap_to_midi", JackNoStartServer, nullptr);
        if (!m_client)
            return;
        m_port = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &NoteOnListener::process, this);
        jack_set_xrun_callback(m_client, &NoteOnListener::countXrun, this);
        if (!m_port || jack_activate(m_client) != 0) {
            jack_client_close(m_client);
            m_client = nullptr;
        }
    }
    ~NoteOnListener()
    {
        if (m_client)
            jack_client_close(m_client);
    }

    bool isOpen() const { return m_client != nullptr; }
    // Cycles the JACK server ran late since the listener opened: a late cycle can drop MIDI on its
    // way, for any JACK client alike.
    int xruns() const { return m_xruns.load(); }
    double periodMs() const
    {
        return 1000.0 * jack_get_buffer_size(m_client) / jack_get_sample_rate(m_client);
    }
    // The MIDI output ports now registered with the JACK server.
    std::set<std::string> midiOutputs() const
    {
        std::set<std::string> names;
        if (const char **ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
            for (const char **port = ports; *port; ++port)
                names.insert(*port);
            jack_free(ports);
        }
        return names;
    }
    bool connectFrom(const std::string &source)
    {
        return jack_connect(m_client, source.c_str(), jack_port_name(m_port)) == 0;
    }
    // The arrival of the first note-on of this note after `since`, if one comes within the timeout.
    std::optional<SteadyClock::time_point> waitForNoteOn(std::uint8_t note, SteadyClock::time_point since,
                                                         SteadyClock::duration timeout)
    {
        std::unique_lock lock(m_mutex);
        std::optional<SteadyClock::time_point> found;
        m_changed.wait_for(lock, timeout, [&] {
            for (const Arrival &arrival : m_arrivals) {
                if (arrival.note == note && arrival.time >= since) {
                    found = arrival.time;
                    return true;
                }
            }
            return false;
        });
        m_arrivals.clear();
        return found;
    }

private:
    struct Arrival
    {
        std::uint8_t note;
        SteadyClock::time_point time;
    };

    static int process(jack_nframes_t frames, void *self)
    {
        const SteadyClock::time_point now = SteadyClock::now();
        auto *listener = static_cast<NoteOnListener *>(self);
        void *buffer = jack_port_get_buffer(listener->m_port, frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        bool noteOn = false;
        for (jack_nframes_t index = 0; index < count; ++index) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, index) != 0 || event.size != 3
                || (event.buffer[0] & 0xF0) != 0x90 || event.buffer[2] == 0)
                continue;
            // Benchmark only: a lock in a JACK process callback is no pattern to copy.
            std::lock_guard lock(listener->m_mutex);
            listener->m_arrivals.push_back({event.buffer[1], now});
            noteOn = true;
        }
        if (noteOn)
            listener->m_changed.notify_all();
        return 0;
    }

    static int countXrun(void *self)
    {
        ++static_cast<NoteOnListener *>(self)->m_xruns;
        return 0;
    }

    jack_client_t *m_client = nullptr;
    jack_port_t *m_port = nullptr;
    std::atomic<int> m_xruns = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Arrival> m_arrivals;
};

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string commandRequest(const char *command, const std::string &token)
{
    const std::string body = std::string(R"({"command":")") + command + R"(","deck":"left"})";
    return "POST /api/command HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token
           + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"
           + body;
}

bool answeredOK(int fd)
{
    std::string received;
    char buffer[4096];
    for (ssize_t count; (count = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;)
        received.append(buffer, size_t(count));
    return received.rfind("HTTP/1.1 200 ", 0) == 0;
}

double at(const std::vector<double> &sorted, double quantile)
{
    return sorted[std::min(sorted.size() - 1, size_t(quantile * double(sorted.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int commands = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    NoteOnListener listener;
    if (!listener.isOpen()) {
        std::printf("bench_tap_to_midi: no JACK server running: skipped\n");
        return 0;
    }
    // The virtual device is the output port that appears with the transport: another connector on the
    // same JACK server holds the plain name, and JACK renames ours.
    const std::set<std::string> before = listener.midiOutputs();
    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(kPlatform);
    if (transport->startupError()) {
        std::fprintf(stderr, "no virtual MIDI device: %s\n", qPrintable(*transport->startupError()));
        return 1;
    }
    std::vector<std::string> added;
    std::ranges::set_difference(listener.midiOutputs(), before, std::back_inserter(added));
    if (added.size() != 1 || !listener.connectFrom(added.front())) {
        std::fprintf(stderr, "could not connect the virtual device to the listener\n");
        return 1;
    }

    QTemporaryDir folder;
    auto settings = std::make_shared<QSettings>(folder.filePath(u"settings.ini"_s), QSettings::IniFormat);
    auto router = std::make_shared<CommandRouter>(kPlatform, transport, settings);
    auto server = std::make_shared<RemoteServer>(kPlatform, router,
                                                 RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
    server->start();
    const quint16 port = server->serverPort();
    if (port == 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const std::string token = router->pair(router->pairingCode()).value_or(QString()).toStdString();
    // Play and pause alternate, so every command sends its pulse.
    const std::string requests[] = {commandRequest("play", token), commandRequest("pause", token)};
    const std::uint8_t notes[] = {transport->note(RemoteCommand::play, DeckSide::left),
                                  transport->note(RemoteCommand::pause, DeckSide::left)};

    int result = 0;
    std::thread bench([&] {
        // Until JACK has made the connection, notes go nowhere.
        bool connected = false;
        for (int attempt = 0; attempt < 200 && !connected; ++attempt) {
            const SteadyClock::time_point sent = SteadyClock::now();
            transport->pulse(notes[0]);
            connected = listener.waitForNoteOn(notes[0], sent, 50ms).has_value();
        }
        std::vector<double> latenciesMs;
        int lost = 0;
        std::mt19937 random(42);
        std::uniform_int_distribution<int> pauseMicroseconds(2000, 7000);
        for (int index = 0; connected && index < commands; ++index) {
            const int fd = connectTo(port);
            if (fd < 0) {
                ++lost;
                continue;
            }
            const std::string &request = requests[index % 2];
            const SteadyClock::time_point written = SteadyClock::now();
            const bool sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
            const std::optional<SteadyClock::time_point> arrived =
                sent ? listener.waitForNoteOn(notes[index % 2], written, 1s) : std::nullopt;
            if (answeredOK(fd) && arrived)
                latenciesMs.push_back(std::chrono::duration<double, std::milli>(*arrived - written).count());
            else
                ++lost;
            ::close(fd);
            // Spread the writes over the JACK period.
            std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
        }
        if (latenciesMs.empty()) {
            std::fprintf(stderr, "no note-on arrived\n");
            result = 1;
        } else {
            std::sort(latenciesMs.begin(), latenciesMs.end());
            std::printf("bench_tap_to_midi: JACK period %.2f ms; first byte written to note-on received\n"
                        "  n=%zu  median %.3f ms  p99 %.3f ms  max %.3f ms  lost %d  JACK xruns %d\n",
                        listener.periodMs(), latenciesMs.size(), at(latenciesMs, 0.5), at(latenciesMs, 0.99),
                        latenciesMs.back(), lost, listener.xruns());
        }
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    application.exec();
    bench.join();
    server->stop();
    return result;
}
