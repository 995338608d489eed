#pragma once

#include "nowplaying/openfileslister.h"

#include <QHash>
#include <QMutex>

#include <atomic>
#include <functional>

// Open files per process as the test sets them; counts the looks and can run a hook inside each
// look (to hold a look open while another thread calls). Thread-safe.
class FakeOpenFilesLister final : public OpenFilesLister
{
public:
    void set(qint64 processID, QStringList paths)
    {
        QMutexLocker locker(&m_mutex);
        m_paths.insert(processID, std::move(paths));
    }

    void setDuringLook(std::function<void()> hook)
    {
        QMutexLocker locker(&m_mutex);
        m_duringLook = std::move(hook);
    }

    int looks() const { return m_looks; }

    QStringList openPaths(qint64 processID) const override
    {
        ++m_looks;
        QMutexLocker locker(&m_mutex);
        const std::function<void()> hook = m_duringLook;
        const QStringList paths = m_paths.value(processID);
        locker.unlock();
        hook();
        return paths;
    }

private:
    mutable QMutex m_mutex;
    mutable std::atomic<int> m_looks = 0;
    QHash<qint64, QStringList> m_paths;
    std::function<void()> m_duringLook = [] {};
};
