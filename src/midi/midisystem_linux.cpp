#include "midi/midisystem.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

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

std::optional<int> jackClientFailureCode(const std::string &clientName)
{
    jack_status_t status{};
    jack_client_t *client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return static_cast<int>(status);
    jack_client_close(client);
    return std::nullopt;
}

} // namespace

std::vector<MIDISystem> midiSystems()
{
    return {
        {RtMidi::LINUX_ALSA, u"ALSA"_s, &alsaClientFailureCode},
        {RtMidi::UNIX_JACK, u"JACK"_s, &jackClientFailureCode},
    };
}
