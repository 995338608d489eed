#include "midi/miditransport.h"

#include "midi/midimessage.h"
#include "midi/notemap.h"
#include "midi/rtmidioutput.h"

using namespace Qt::StringLiterals;

namespace {

// The user-facing reason an output could not be opened.
QString startupErrorMessage(DJPlatform platform, const MIDIOpenFailure &failure)
{
    const QString code = QString::number(failure.code);
    if (failure.stage == MIDIOpenFailure::Stage::client)
        return failure.system + u" could not start (error "_s + code + u")."_s;
    return u"The "_s + displayName(platform) + u" virtual MIDI source could not be created (error "_s + code
           + u")."_s;
}

QString clientName(DJPlatform platform)
{
    return serviceName(platform) + u" Client"_s;
}

constexpr std::chrono::seconds kReopenInterval(2);

} // namespace

std::shared_ptr<MIDITransport> MIDITransport::create(DJPlatform platform)
{
    return create(platform, std::make_unique<RtMidiOutput>());
}

std::shared_ptr<MIDITransport> MIDITransport::create(DJPlatform platform, std::unique_ptr<MIDIOutput> output)
{
    auto transport = std::make_shared<MIDITransport>(Passkey{}, platform, std::move(output));
    transport->open();
    return transport;
}

MIDITransport::MIDITransport(Passkey, DJPlatform platform, std::unique_ptr<MIDIOutput> output)
    : m_platform(platform)
    , m_output(std::move(output))
{}

MIDITransport::~MIDITransport()
{
    m_output.reset();
}

// Apart from construction, only the timer thread opens and closes the output.
void MIDITransport::open()
{
    m_output->setTroubleHandler([this] { noticeTrouble(); });
    if (const std::optional<MIDIOpenFailure> failure =
            m_output->open(clientName(m_platform), midiDeviceName(m_platform))) {
        m_startupError = startupErrorMessage(m_platform, *failure);
        m_output.reset();
    }
}

void MIDITransport::noticeTrouble()
{
    if (m_troubleCheckQueued.exchange(true))
        return;
    schedule(std::chrono::steady_clock::duration::zero(), [transport = weak_from_this()] {
        if (const std::shared_ptr<MIDITransport> strong = transport.lock())
            strong->checkAfterTrouble();
    });
}

void MIDITransport::checkAfterTrouble()
{
    m_troubleCheckQueued = false;
    if (m_systemStopped || m_output->isRunning())
        return;
    m_systemStopped = true;
    m_output->close();
    scheduleReopen();
}

void MIDITransport::reopen()
{
    if (!m_output->open(clientName(m_platform), midiDeviceName(m_platform))) {
        m_systemStopped = false;
        return;
    }
    scheduleReopen();
}

void MIDITransport::scheduleReopen()
{
    schedule(kReopenInterval, [transport = weak_from_this()] {
        if (const std::shared_ptr<MIDITransport> strong = transport.lock())
            strong->reopen();
    });
}

std::chrono::milliseconds MIDITransport::holdTime(DJPlatform platform)
{
    return platform == DJPlatform::virtualDJ ? std::chrono::milliseconds(250) : std::chrono::milliseconds(70);
}

std::optional<QString> MIDITransport::startupError() const
{
    return m_startupError;
}

std::optional<QString> MIDITransport::error() const
{
    if (m_startupError)
        return m_startupError;
    if (m_systemStopped)
        return u"The MIDI system stopped. Waiting for it to come back…"_s;
    return std::nullopt;
}

std::uint8_t MIDITransport::note(RemoteCommand command, DeckSide deck) const
{
    return NoteMap::note(m_platform, command, deck);
}

void MIDITransport::pulse(std::uint8_t note)
{
    if (!isSending() || note > MIDIMessage::kMaxDataByte)
        return;
    send(MIDIMessage::noteOn(note));
    schedule(holdTime(m_platform), [transport = weak_from_this(), note] {
        if (const std::shared_ptr<MIDITransport> strong = transport.lock())
            strong->send(MIDIMessage::noteOff(note));
    });
}

void MIDITransport::setControlChange(std::uint8_t controller, std::uint8_t value)
{
    if (!isSending() || controller > MIDIMessage::kMaxDataByte)
        return;
    send(MIDIMessage::controlChange(controller, value));
}

void MIDITransport::schedule(std::chrono::steady_clock::duration delay, MIDIScheduler::Task task)
{
    m_scheduler.schedule(std::chrono::steady_clock::now() + delay, std::move(task));
}

bool MIDITransport::isSending() const
{
    return m_output && !m_systemStopped;
}

void MIDITransport::send(const std::array<std::uint8_t, 3> &message)
{
    m_output->send(message);
}
