#pragma once

#include "core/clock.h"

#include <atomic>

// A wall clock that moves only when the test says so.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(qint64 startMSecs = 1'780'000'000'000)
        : m_now(startMSecs)
    {}

    qint64 nowMSecsSinceEpoch() const override { return m_now.load(); }
    void set(qint64 msecs) { m_now.store(msecs); }
    void advance(qint64 msecs) { m_now.fetch_add(msecs); }

private:
    std::atomic<qint64> m_now;
};
