#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

// Why a MIDI output could not be opened: the system that refused, at which step, and its code.
struct MIDIOpenFailure
{
    enum class Stage { client, source, destination };

    QString system; // "ALSA", "JACK", "CoreMIDI"
    Stage stage = Stage::client;
    int code = 0;
};

// The seam around the host's MIDI service: one client with one named virtual source and a virtual
// destination of the same name, so the DJ software sees one device that both listens and answers. The
// transport opens both on construction, closes and reopens them when the service has gone away, and
// releases them by destroying it. send() may be called from several threads at once and must return
// without waiting for the receiver; the other calls come from one thread at a time.
class MIDIOutput
{
public:
    // Told on a service or sending thread that the service under the open source may have stopped:
    // it must return at once and must not release the output.
    using TroubleHandler = std::function<void()>;

    // Told on the service's receiving thread of every message that arrives at the destination: it must
    // return at once, without waiting for a lock another thread may hold for long.
    using InputHandler = std::function<void(std::span<const std::uint8_t> message)>;

    virtual ~MIDIOutput() = default;

    // Set once, before the first open().
    virtual void setTroubleHandler(TroubleHandler) {}
    virtual void setInputHandler(InputHandler) {}
    // Creates the client, its virtual source and its virtual destination; no value once all exist.
    virtual std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) = 0;
    // After trouble: whether the source still lives on a running service. May wait for the service.
    virtual bool isRunning() { return true; }
    // Lets go of the client, source and destination; no input is reported once it returns. open() may
    // follow.
    virtual void close() {}
    virtual void send(const std::array<std::uint8_t, 3> &message) = 0;
};
