#include "midi/rtmidioutput.h"

#include "midi/midisystem.h"

#include <RtMidi.h>

namespace {

struct OpenErrors
{
    std::optional<RtMidiError::Type> first;
};

void recordOpenError(RtMidiError::Type type, const std::string &, void *userData)
{
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        return;
    auto *errors = static_cast<OpenErrors *>(userData);
    if (!errors->first)
        errors->first = type;
}

// Without a callback RtMidi throws from sendMessage, which on the timer thread would end the process.
void ignoreSendError(RtMidiError::Type, const std::string &, void *)
{}

// Opens the client and its virtual source on one system; on success `out` holds them.
std::optional<MIDIOpenFailure> openOn(const MIDISystem &system, const std::string &clientName,
                                      const std::string &sourceName, std::unique_ptr<RtMidiOut> &out)
{
    try {
        out = std::make_unique<RtMidiOut>(system.api, clientName);
    } catch (const RtMidiError &error) {
        const int code = system.clientFailureCode(clientName).value_or(static_cast<int>(error.getType()));
        return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client, code};
    }

    OpenErrors errors;
    out->setErrorCallback(&recordOpenError, &errors);
    try {
        out->openVirtualPort(sourceName);
    } catch (const RtMidiError &error) {
        errors.first = error.getType();
    }
    out->setErrorCallback(&ignoreSendError, nullptr);
    if (!errors.first)
        return std::nullopt;

    // Some back ends (JACK) only notice a missing server here, so ask the system which step failed,
    // after letting go of our own half-open client.
    out.reset();
    if (const std::optional<int> code = system.clientFailureCode(clientName))
        return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client, *code};
    return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::source, static_cast<int>(*errors.first)};
}

} // namespace

RtMidiOutput::RtMidiOutput() = default;

RtMidiOutput::~RtMidiOutput() = default;

std::optional<MIDIOpenFailure> RtMidiOutput::open(const QString &clientName, const QString &sourceName)
{
    const std::string client = clientName.toStdString();
    const std::string source = sourceName.toStdString();
    std::optional<MIDIOpenFailure> reported;
    for (const MIDISystem &system : midiSystems()) {
        std::unique_ptr<RtMidiOut> out;
        const std::optional<MIDIOpenFailure> failure = openOn(system, client, source, out);
        if (!failure) {
            std::lock_guard lock(m_sendLock);
            m_out = std::move(out);
            return std::nullopt;
        }
        const bool gotFurther = reported && reported->stage == MIDIOpenFailure::Stage::client
                                && failure->stage == MIDIOpenFailure::Stage::source;
        if (!reported || gotFurther)
            reported = failure;
    }
    return reported;
}

void RtMidiOutput::send(const std::array<std::uint8_t, 3> &message)
{
    std::lock_guard lock(m_sendLock);
    if (m_out)
        m_out->sendMessage(message.data(), message.size());
}
