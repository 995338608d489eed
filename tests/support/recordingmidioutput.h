#pragma once

#include "midi/miditransport.h"
#include "midimessagelog.h"

#include <mutex>
#include <vector>

// An in-memory MIDI output for tests: records into a MIDIMessageLog, takes what the DJ software would
// send through its Input, or refuses to open with a given failure. Thread-safe.
class RecordingMIDIOutput final : public MIDIOutput
{
public:
    // Plays the DJ software's side of the destination: messages reach the transport while the output
    // is open, and are dropped once it is released.
    class Input
    {
    public:
        void send(const std::vector<std::uint8_t> &message) const
        {
            std::lock_guard lock(m_lock);
            if (m_handler)
                m_handler(message);
        }

        void connect(InputHandler handler)
        {
            std::lock_guard lock(m_lock);
            m_handler = std::move(handler);
        }

    private:
        mutable std::mutex m_lock;
        InputHandler m_handler;
    };

    // A transport on a recording output, with the log to watch it through and the input to answer on.
    struct Recorded
    {
        std::shared_ptr<MIDITransport> transport;
        std::shared_ptr<MIDIMessageLog> log;
        std::shared_ptr<Input> input;
    };
    static Recorded transport(DJPlatform platform, std::optional<MIDIOpenFailure> openFailure = std::nullopt);

    // Returns once the transport's timer thread has run every task due within `delay` from now (false
    // if that takes more than ten seconds longer). Lets a test check that nothing more was sent.
    static bool waitForTimerThread(MIDITransport &transport, std::chrono::milliseconds delay);

    ~RecordingMIDIOutput() override { close(); }

    void setInputHandler(InputHandler handler) override { m_handler = std::move(handler); }
    std::optional<MIDIOpenFailure> open(const QString &, const QString &) override
    {
        if (!m_openFailure)
            m_input->connect(m_handler);
        return m_openFailure;
    }
    void close() override { m_input->connect(nullptr); }
    void send(const std::array<std::uint8_t, 3> &message) override { m_log->record(message); }

private:
    std::optional<MIDIOpenFailure> m_openFailure;
    const std::shared_ptr<MIDIMessageLog> m_log = std::make_shared<MIDIMessageLog>();
    const std::shared_ptr<Input> m_input = std::make_shared<Input>();
    InputHandler m_handler;
};
