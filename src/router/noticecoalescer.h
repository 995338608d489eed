#pragma once

#include <QHash>
#include <QString>

// Lets one notice per key through in each interval: a peer guessing codes is reported, not once per
// guess. Keys older than the interval are dropped, so a crowd of peers costs no more than the ones
// heard from within it. Not thread-safe; its owner serialises the calls.
class NoticeCoalescer
{
public:
    explicit NoticeCoalescer(qint64 intervalMSecs);

    // True when the key was not let through in the last interval; then it counts from now.
    bool letThrough(const QString &key, qint64 now);

private:
    qint64 m_intervalMSecs;
    QHash<QString, qint64> m_lastLetThrough;
};
