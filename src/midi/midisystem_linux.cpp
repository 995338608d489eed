#include "midi/midisystem.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::optional<int> alsaClientFailureCode(const std::string &)
{
    snd_seq_t *sequencer = nullptr;
    const int result = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
    if (result < 0)
        return result;
    snd_seq_close(sequencer);
    return std::nullopt;
}

// Without the sequencer's device node, opening it fails with exactly this code, after ALSA has
// printed a line about it.
std::optional<int> alsaAbsenceCode()
{
    if (access("/dev/snd/seq", F_OK) == 0)
        return std::nullopt;
    return -errno;
}

std::optional<int> jackClientFailureCode(const std::string &clientName)
{
    jack_status_t status{};
    jack_client_t *client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return static_cast<int>(status);
    jack_client_close(client);
    return std::nullopt;
}

// A second client without ports, for its shutdown notice: RtMidi keeps its own client to itself.
std::shared_ptr<void> watchJack(const std::string &clientName, MIDISystem::StopHandler stopped, void *context)
{
    struct Watch
    {
        jack_client_t *client = nullptr;
        MIDISystem::StopHandler stopped = nullptr;
        void *context = nullptr;
    };
    jack_client_t *client = jack_client_open((clientName + " Watch").c_str(), JackNoStartServer, nullptr);
    if (client == nullptr)
        return nullptr;
    auto *watch = new Watch{client, stopped, context};
    jack_on_info_shutdown(
        client,
        [](jack_status_t, const char *, void *argument) {
            const auto *watch = static_cast<const Watch *>(argument);
            watch->stopped(watch->context);
        },
        watch);
    // Closing the client ends its notification thread before the watch is freed.
    return std::shared_ptr<void>(watch, [](void *pointer) {
        auto *watch = static_cast<Watch *>(pointer);
        jack_client_close(watch->client);
        delete watch;
    });
}

} // namespace

std::vector<MIDISystem> midiSystems()
{
    return {
        {RtMidi::LINUX_ALSA, u"ALSA"_s, &alsaClientFailureCode, &alsaAbsenceCode, nullptr},
        {RtMidi::UNIX_JACK, u"JACK"_s, &jackClientFailureCode, nullptr, &watchJack},
    };
}
