#include "midi/rtmidioutput.h"

#include <RtMidi.h>

#include <thread>

namespace {

constexpr std::chrono::milliseconds kShutdownSettleTime(500);

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

// Opens a client and its virtual port on one system; on success `port` holds them. `prepare` runs
// before the port opens (an input's callback must be in place before the first message).
template<typename Port, typename Prepare>
std::optional<MIDIOpenFailure> openOn(const MIDISystem &system, const std::string &clientName,
                                      const std::string &portName, MIDIOpenFailure::Stage portStage,
                                      std::unique_ptr<Port> &port, Prepare prepare)
{
    if (system.absenceCode) {
        if (const std::optional<int> code = system.absenceCode())
            return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client, *code};
    }
    try {
        port = std::make_unique<Port>(system.api, clientName);
    } catch (const RtMidiError &error) {
        const int code = system.clientFailureCode(clientName).value_or(static_cast<int>(error.getType()));
        return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client, code};
    }

    OpenErrors errors;
    port->setErrorCallback(&recordOpenError, &errors);
    prepare(*port);
    try {
        port->openVirtualPort(portName);
    } catch (const RtMidiError &error) {
        errors.first = error.getType();
    }
    port->setErrorCallback(nullptr, nullptr);
    if (!errors.first)
        return std::nullopt;

    // Some back ends (JACK) only notice a missing server here, so ask the system which step failed,
    // after letting go of our own half-open client.
    port.reset();
    if (const std::optional<int> code = system.clientFailureCode(clientName))
        return MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client, *code};
    return MIDIOpenFailure{system.name, portStage, static_cast<int>(*errors.first)};
}

} // namespace

RtMidiOutput::RtMidiOutput() = default;

RtMidiOutput::~RtMidiOutput()
{
    close();
}

void RtMidiOutput::setTroubleHandler(TroubleHandler handler)
{
    m_onTrouble = std::move(handler);
}

void RtMidiOutput::setInputHandler(InputHandler handler)
{
    m_onInput = std::move(handler);
}

std::optional<MIDIOpenFailure> RtMidiOutput::open(const QString &clientName, const QString &sourceName)
{
    close();
    const std::string client = clientName.toStdString();
    const std::string source = sourceName.toStdString();
    std::optional<MIDIOpenFailure> reported;
    for (const MIDISystem &system : midiSystems()) {
        std::unique_ptr<RtMidiOut> out;
        std::unique_ptr<RtMidiIn> in;
        std::optional<MIDIOpenFailure> failure =
            openOn(system, client, source, MIDIOpenFailure::Stage::source, out, [](RtMidiOut &) {});
        if (!failure) {
            // A client of its own name: on JACK a second client of the same name would be renamed.
            failure = openOn(system, client + " Input", source, MIDIOpenFailure::Stage::destination, in,
                             [this](RtMidiIn &port) { port.setCallback(&RtMidiOutput::receive, this); });
            if (failure)
                out.reset();
        }
        if (!failure && system.watch) {
            m_watch = system.watch(client, &RtMidiOutput::reportSystemStopped, this);
            // The service went away between the two clients.
            if (!m_watch) {
                in.reset();
                out.reset();
                failure = MIDIOpenFailure{system.name, MIDIOpenFailure::Stage::client,
                                          system.clientFailureCode(client).value_or(0)};
            }
        }
        if (!failure) {
            out->setErrorCallback(&reportSendError, this);
            m_system = system;
            m_clientName = client;
            in->setErrorCallback(&reportSendError, this);
            m_in = std::move(in);
            std::lock_guard lock(m_sendLock);
            m_out = std::move(out);
            return std::nullopt;
        }
        const bool gotFurther = reported && failure->stage > reported->stage;
        if (!reported || gotFurther)
            reported = failure;
    }
    return reported;
}

bool RtMidiOutput::isRunning()
{
    if (!m_system || m_systemStoppedAt != 0)
        return false;
    return !m_system->clientFailureCode(m_clientName);
}

void RtMidiOutput::close()
{
    // Closing a JACK client cancels its notification thread at whatever point it has reached; just
    // after the server quit, that thread is still busy with the shutdown, and cancelling it there ends
    // the process. It is done within microseconds: a moment's wait is ample.
    if (const std::chrono::steady_clock::rep stoppedAt = m_systemStoppedAt; stoppedAt != 0) {
        const std::chrono::steady_clock::time_point stopped{std::chrono::steady_clock::duration(stoppedAt)};
        std::this_thread::sleep_until(stopped + kShutdownSettleTime);
    }
    m_watch.reset();
    // Its receiving thread has ended once it is gone.
    m_in.reset();
    m_systemStoppedAt = 0;
    m_system.reset();
    std::unique_ptr<RtMidiOut> closing;
    {
        std::lock_guard lock(m_sendLock);
        closing = std::move(m_out);
    }
    // Closed outside the lock: a sender finds no source instead of waiting for the service.
    closing.reset();
}

void RtMidiOutput::send(const std::array<std::uint8_t, 3> &message)
{
    std::lock_guard lock(m_sendLock);
    if (m_out)
        m_out->sendMessage(message.data(), message.size());
}

// Without a callback RtMidi would throw from sendMessage, which on the timer thread ends the process.
void RtMidiOutput::reportSendError(RtMidiError::Type type, const std::string &, void *output)
{
    if (type != RtMidiError::DEBUG_WARNING)
        reportTrouble(output);
}

void RtMidiOutput::receive(double, std::vector<unsigned char> *message, void *output)
{
    const auto *self = static_cast<RtMidiOutput *>(output);
    if (self->m_onInput && message)
        self->m_onInput(std::span<const std::uint8_t>(message->data(), message->size()));
}

void RtMidiOutput::reportTrouble(void *output)
{
    const auto *self = static_cast<RtMidiOutput *>(output);
    if (self->m_onTrouble)
        self->m_onTrouble();
}

void RtMidiOutput::reportSystemStopped(void *output)
{
    static_cast<RtMidiOutput *>(output)->m_systemStoppedAt =
        std::chrono::steady_clock::now().time_since_epoch().count();
    reportTrouble(output);
}
