#pragma once

#include "midi/midioutput.h"
#include "midi/miditransport.h"
#include "midimessagelog.h"

#include <chrono>
#include <memory>
#include <optional>

// An in-memory MIDI output for tests: records into a MIDIMessageLog instead of reaching a MIDI
// system, or refuses to open with a given failure. Thread-safe.
class RecordingMIDIOutput final : public MIDIOutput
{
public:
    // A transport on a recording output, with the log to watch it through.
    struct Recorded
    {
        std::shared_ptr<MIDITransport> transport;
        std::shared_ptr<MIDIMessageLog> log;
    };
    static Recorded transport(DJPlatform platform, std::optional<MIDIOpenFailure> openFailure = std::nullopt);

    // Returns once the transport's timer thread has run every task due within `delay` from now (false
    // if that takes more than ten seconds longer). Lets a test check that nothing more was sent.
    static bool waitForTimerThread(MIDITransport &transport, std::chrono::milliseconds delay);

    explicit RecordingMIDIOutput(std::optional<MIDIOpenFailure> openFailure = std::nullopt);

    std::shared_ptr<MIDIMessageLog> log() const;

    std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) override;
    void send(const std::array<std::uint8_t, 3> &message) override;

private:
    const std::optional<MIDIOpenFailure> m_openFailure;
    const std::shared_ptr<MIDIMessageLog> m_log = std::make_shared<MIDIMessageLog>();
};
