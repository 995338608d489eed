#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
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
// opens it on construction, closes and reopens it when the service has gone away, and releases it by
// destroying it. send() may be called from several threads at once and must return without waiting
// for the receiver; the other calls come from one thread at a time.
class MIDIOutput
{
public:
    // Told on a service or sending thread that the service under the open source may have stopped:
    // it must return at once and must not release the output.
    using TroubleHandler = std::function<void()>;

    virtual ~MIDIOutput() = default;

    // Set once, before the first open().
    virtual void setTroubleHandler(TroubleHandler) {}
    // Creates the client and its virtual source; no value once both exist.
    virtual std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) = 0;
    // After trouble: whether the source still lives on a running service. May wait for the service.
    virtual bool isRunning() { return true; }
    // Lets go of the client and source; open() may follow.
    virtual void close() {}
    virtual void send(const std::array<std::uint8_t, 3> &message) = 0;
};
