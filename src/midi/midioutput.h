#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// Why a MIDI output could not be opened: the system that refused, at which step, and its code.
struct MIDIOpenFailure
{
    enum class Stage { client, source };

    QString system; // "ALSA", "JACK", "CoreMIDI"
    Stage stage = Stage::client;
    int code = 0;
};

// The seam around the host's MIDI service: one client with one named virtual source. The transport
// opens it once on construction and closes it by destroying it. send() may be called from several
// threads at once and must return without waiting for the receiver.
class MIDIOutput
{
public:
    virtual ~MIDIOutput() = default;

    // Creates the client and its virtual source; no value once both exist.
    virtual std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) = 0;
    virtual void send(const std::array<std::uint8_t, 3> &message) = 0;
};
