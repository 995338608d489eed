#pragma once

#include "core/clock.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

// Counts wrong pairing codes per peer so that a six-digit code cannot be guessed from a venue's
// network: after kMaxFailures within kWindowMSecs a peer is refused until the oldest of them has left
// the window. Other peers are not affected. Not thread-safe; the server calls it from its own thread.
class PairingThrottle
{
public:
    static constexpr int kMaxFailures = 10;
    static constexpr qint64 kWindowMSecs = 10 * 60 * 1000;

    explicit PairingThrottle(std::shared_ptr<const Clock> clock);

    bool allows(const QString &peer);
    void recordFailure(const QString &peer);
    void recordSuccess(const QString &peer);

private:
    // Drops failures that have left the window, and peers left with none.
    void forgetExpired(qint64 now);

    std::shared_ptr<const Clock> m_clock;
    // At most kMaxFailures times per peer, oldest first.
    QHash<QString, QList<qint64>> m_failures;
};
