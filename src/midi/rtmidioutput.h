#pragma once

#include "midi/midioutput.h"
#include "midi/midisystem.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

// The real virtual source through RtMidi: on Linux the ALSA sequencer when it can be opened, else a
// running JACK server; on macOS CoreMIDI. send() is callable from any thread. Trouble is a failed send
// or, on JACK, the server's shutdown notice.
class RtMidiOutput final : public MIDIOutput
{
public:
    RtMidiOutput();
    ~RtMidiOutput() override;

    void setTroubleHandler(TroubleHandler handler) override;
    // When no system opens, the failure that got furthest is reported; on a tie, the first system
    // tried, which is the one the DJ software normally listens to. An open source is closed first.
    std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) override;
    bool isRunning() override;
    void close() override;
    void send(const std::array<std::uint8_t, 3> &message) override;

private:
    static void reportSendError(RtMidiError::Type type, const std::string &text, void *output);
    static void reportTrouble(void *output);
    static void reportSystemStopped(void *output);

    TroubleHandler m_onTrouble;
    // The system the source is open on, with the client name it was opened under.
    std::optional<MIDISystem> m_system;
    std::string m_clientName;
    // When the system reported its end (steady-clock ticks); zero while it has not.
    std::atomic<std::chrono::steady_clock::rep> m_systemStoppedAt = 0;
    // Released before m_out: no stop notice arrives for a closed client.
    std::shared_ptr<void> m_watch;
    // RtMidi's senders share a ring buffer (JACK) or an encoder (ALSA) without a lock of their own,
    // and note-ons and note-offs come from different threads.
    std::mutex m_sendLock;
    std::unique_ptr<RtMidiOut> m_out;
};
