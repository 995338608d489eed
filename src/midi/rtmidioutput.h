#pragma once

#include "midi/midioutput.h"

#include <memory>
#include <mutex>

class RtMidiOut;

// The real virtual source through RtMidi: on Linux the ALSA sequencer when it can be opened, else a
// running JACK server; on macOS CoreMIDI. send() is callable from any thread.
class RtMidiOutput final : public MIDIOutput
{
public:
    RtMidiOutput();
    ~RtMidiOutput() override;

    // When no system opens, the failure that got furthest is reported; on a tie, the first system
    // tried, which is the one the DJ software normally listens to.
    std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) override;
    void send(const std::array<std::uint8_t, 3> &message) override;

private:
    // RtMidi's senders share a ring buffer (JACK) or an encoder (ALSA) without a lock of their own,
    // and note-ons and note-offs come from different threads.
    std::mutex m_sendLock;
    std::unique_ptr<RtMidiOut> m_out;
};
