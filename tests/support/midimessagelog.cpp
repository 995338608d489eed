#include "midimessagelog.h"

void MIDIMessageLog::record(const Bytes &bytes)
{
    std::lock_guard lock(m_mutex);
    m_messages.push_back({bytes, std::chrono::steady_clock::now()});
    m_changed.notify_all();
}

std::vector<MIDIMessageLog::Message> MIDIMessageLog::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<MIDIMessageLog::Bytes> MIDIMessageLog::bytes() const
{
    std::vector<Bytes> result;
    for (const Message &message : messages())
        result.push_back(message.bytes);
    return result;
}

bool MIDIMessageLog::waitForCount(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
}
