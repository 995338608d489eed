#include "router/noticecoalescer.h"

NoticeCoalescer::NoticeCoalescer(qint64 intervalMSecs)
    : m_intervalMSecs(intervalMSecs)
{}

bool NoticeCoalescer::letThrough(const QString &key, qint64 now)
{
    // A time ahead of now means the clock was set back: that notice no longer holds the next one.
    m_lastLetThrough.removeIf([this, now](const QHash<QString, qint64>::iterator &entry) {
        return now - entry.value() >= m_intervalMSecs || entry.value() > now;
    });
    if (m_lastLetThrough.contains(key))
        return false;
    m_lastLetThrough.insert(key, now);
    return true;
}
