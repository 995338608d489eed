#include "recordingmidioutput.h"

#include <future>

RecordingMIDIOutput::Recorded RecordingMIDIOutput::transport(DJPlatform platform,
                                                             std::optional<MIDIOpenFailure> openFailure)
{
    auto output = std::make_unique<RecordingMIDIOutput>(std::move(openFailure));
    std::shared_ptr<MIDIMessageLog> log = output->log();
    std::shared_ptr<Input> input = output->m_input;
    return {MIDITransport::create(platform, std::move(output)), std::move(log), std::move(input)};
}

bool RecordingMIDIOutput::waitForTimerThread(MIDITransport &transport, std::chrono::milliseconds delay)
{
    auto passed = std::make_shared<std::promise<void>>();
    std::future<void> done = passed->get_future();
    // Later deadlines run later, equal ones in submission order: this task runs after all those due.
    transport.schedule(delay, [passed] { passed->set_value(); });
    return done.wait_for(delay + std::chrono::seconds(10)) == std::future_status::ready;
}

RecordingMIDIOutput::RecordingMIDIOutput(std::optional<MIDIOpenFailure> openFailure)
    : m_openFailure(std::move(openFailure))
{}

RecordingMIDIOutput::~RecordingMIDIOutput()
{
    close();
}

void RecordingMIDIOutput::Input::send(const std::vector<std::uint8_t> &message) const
{
    std::lock_guard lock(m_lock);
    if (m_handler)
        m_handler(message);
}

void RecordingMIDIOutput::setInputHandler(InputHandler handler)
{
    m_handler = std::move(handler);
}

std::shared_ptr<MIDIMessageLog> RecordingMIDIOutput::log() const
{
    return m_log;
}

std::optional<MIDIOpenFailure> RecordingMIDIOutput::open(const QString &, const QString &)
{
    if (!m_openFailure) {
        std::lock_guard lock(m_input->m_lock);
        m_input->m_handler = m_handler;
    }
    return m_openFailure;
}

void RecordingMIDIOutput::close()
{
    std::lock_guard lock(m_input->m_lock);
    m_input->m_handler = nullptr;
}

void RecordingMIDIOutput::send(const std::array<std::uint8_t, 3> &message)
{
    m_log->record(message);
}
