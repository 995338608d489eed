#pragma once

#include "core/activityentry.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The activity log: one line per event in a text file that rotates, and the latest entries in memory.
// Lives on the thread that created it (normally the main thread); append() and recentEntries() are called
// from any thread. A writer thread of its own does all file work, so no caller ever waits for the disk.
class ActivityLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 defaultRotationBytes = 1024 * 1024;
    static constexpr int recentLimit = 200;
    // Linux: $XDG_STATE_HOME/Tarvik/DJ Connector/activity.log (~/.local/state when unset or not absolute);
    // macOS: ~/Library/Logs/Tarvik DJ Connector/activity.log.
    static QString defaultFilePath();

    explicit ActivityLog(const QString &filePath, qint64 rotationBytes = defaultRotationBytes,
                         QObject *parent = nullptr);
    ~ActivityLog() override; // writes what is still queued, then stops its writer thread
    QString filePath() const;
    // Any thread; never waits for the disk (a writer thread of its own appends the lines).
    // When the file would pass rotationBytes, activity.log becomes activity.log.1
    // (.1 -> .2, .2 -> .3, .3 dropped).
    void append(const ActivityEntry &entry);
    // The last recentLimit entries, newest first. Any thread.
    QList<ActivityEntry> recentEntries() const;

Q_SIGNALS:
    // Emitted on the log's thread (the thread it lives in, normally the main thread) after an append, queued.
    // Appends that come faster than the log's thread handles its events share one signal.
    void entryAdded();
    // Once per log, the first time a line cannot be written (unwritable folder, full disk). The log keeps
    // trying later lines silently; the connector never stops because of it.
    void writeFailed(const QString &filePath);

private:
    void writeUntilStopped();
    bool writeLines(const std::deque<QByteArray> &lines);
    bool rotate() const;
    void reportWriteFailure();

    const QString m_filePath;
    const qint64 m_rotationBytes;

    mutable std::mutex m_mutex; // guards everything below up to the writer thread
    std::condition_variable m_linesQueued;
    std::deque<ActivityEntry> m_recent; // newest first
    std::deque<QByteArray> m_pendingLines;
    qint64 m_droppedLines = 0;
    bool m_stopping = false;

    std::atomic<bool> m_entryAddedPosted = false;
    bool m_writeFailureReported = false; // writer thread only
    std::thread m_writer;
};
