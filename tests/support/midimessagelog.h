#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// What a RecordingMIDIOutput saw: every message with the steady-clock time it was sent. Thread-safe; outlives
// the output, so a test can keep watching after it released the transport.
class MIDIMessageLog
{
public:
    using Bytes = std::array<std::uint8_t, 3>;

    struct Message
    {
        Bytes bytes;
        std::chrono::steady_clock::time_point time;
    };

    void record(const Bytes &bytes);

    std::vector<Message> messages() const;
    std::vector<Bytes> bytes() const;
    std::size_t count() const { return messages().size(); }
    // True once at least `count` messages have arrived; false when the timeout passes first.
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Message> m_messages;
};
