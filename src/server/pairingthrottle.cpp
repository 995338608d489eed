#include "server/pairingthrottle.h"

PairingThrottle::PairingThrottle(std::shared_ptr<const Clock> clock)
    : m_clock(std::move(clock))
{}

bool PairingThrottle::allows(const QString &peer)
{
    forgetExpired(m_clock->nowMSecsSinceEpoch());
    return m_failures.value(peer).size() < kMaxFailures;
}

void PairingThrottle::recordFailure(const QString &peer)
{
    const qint64 now = m_clock->nowMSecsSinceEpoch();
    forgetExpired(now);
    QList<qint64> &times = m_failures[peer];
    times.append(now);
    if (times.size() > kMaxFailures)
        times.removeFirst();
}

void PairingThrottle::recordSuccess(const QString &peer)
{
    m_failures.remove(peer);
}

void PairingThrottle::forgetExpired(qint64 now)
{
    for (auto entry = m_failures.begin(); entry != m_failures.end();) {
        // A time ahead of now means the clock was set back; that guess no longer counts either.
        entry->removeIf([now](qint64 time) { return now - time >= kWindowMSecs || time > now; });
        entry = entry->isEmpty() ? m_failures.erase(entry) : std::next(entry);
    }
}
