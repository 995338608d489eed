#include "recordingmidioutput.h"

#include <future>

RecordingMIDIOutput::Recorded RecordingMIDIOutput::transport(DJPlatform platform,
                                                             std::optional<MIDIOpenFailure> openFailure)
{
    auto output = std::make_unique<RecordingMIDIOutput>(std::move(openFailure));
    std::shared_ptr<MIDIMessageLog> log = output->log();
    return {MIDITransport::create(platform, std::move(output)), std::move(log)};
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

std::shared_ptr<MIDIMessageLog> RecordingMIDIOutput::log() const
{
    return m_log;
}

std::optional<MIDIOpenFailure> RecordingMIDIOutput::open(const QString &, const QString &)
{
    return m_openFailure;
}

void RecordingMIDIOutput::send(const std::array<std::uint8_t, 3> &message)
{
    m_log->record(message);
}
