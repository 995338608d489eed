#include "recordingmidioutput.h"

#include <future>

RecordingMIDIOutput::Recorded RecordingMIDIOutput::transport(DJPlatform platform,
                                                             std::optional<MIDIOpenFailure> openFailure)
{
    auto output = std::make_unique<RecordingMIDIOutput>();
    output->m_openFailure = std::move(openFailure);
    Recorded recorded{nullptr, output->m_log, output->m_input};
    recorded.transport = MIDITransport::create(platform, std::move(output));
    return recorded;
}

bool RecordingMIDIOutput::waitForTimerThread(MIDITransport &transport, std::chrono::milliseconds delay)
{
    auto passed = std::make_shared<std::promise<void>>();
    std::future<void> done = passed->get_future();
    // Later deadlines run later, equal ones in submission order: this task runs after all those due.
    transport.schedule(delay, [passed] { passed->set_value(); });
    return done.wait_for(delay + std::chrono::seconds(10)) == std::future_status::ready;
}
