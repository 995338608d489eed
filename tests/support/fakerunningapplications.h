#pragma once

#include "nowplaying/runningapplications.h"

#include <QMutex>

// Running applications that the test sets. Thread-safe.
class FakeRunningApplications final : public RunningApplications
{
public:
    void set(QList<RunningApplication> applications)
    {
        QMutexLocker locker(&m_mutex);
        m_applications = std::move(applications);
    }

    QList<RunningApplication> list() const override
    {
        QMutexLocker locker(&m_mutex);
        return m_applications;
    }

private:
    mutable QMutex m_mutex;
    QList<RunningApplication> m_applications;
};
