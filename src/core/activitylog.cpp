#include "core/activitylog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// A log only falls this far behind when the disk hangs; beyond it, events are counted instead of queued so a
// stuck disk cannot eat the memory of a connector that is playing a wedding.
constexpr std::size_t kMaxPendingLines = 10000;
constexpr int kKeptRotations = 3;

QString rotatedPath(const QString &filePath, int generation)
{
    return filePath + u'.' + QString::number(generation);
}

} // namespace

QString ActivityLog::defaultFilePath()
{
#ifdef Q_OS_MACOS
    return QDir::homePath() + u"/Library/Logs/Tarvik DJ Connector/activity.log"_s;
#else
    QString stateFolder = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateFolder.isEmpty() || !QDir::isAbsolutePath(stateFolder))
        stateFolder = QDir::homePath() + u"/.local/state"_s;
    return stateFolder + u"/Tarvik/DJ Connector/activity.log"_s;
#endif
}

ActivityLog::ActivityLog(const QString &filePath, qint64 rotationBytes, QObject *parent)
    : QObject(parent)
    , m_filePath(filePath)
    , m_rotationBytes(rotationBytes)
{
    m_writer = std::thread([this] { writeUntilStopped(); });
}

ActivityLog::~ActivityLog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_linesQueued.notify_one();
    m_writer.join();
}

QString ActivityLog::filePath() const
{
    return m_filePath;
}

void ActivityLog::append(const ActivityEntry &entry)
{
    QByteArray line = activityLine(entry);
    {
        const std::lock_guard lock(m_mutex);
        m_recent.push_front(entry);
        if (m_recent.size() > recentLimit)
            m_recent.pop_back();
        if (m_pendingLines.size() < kMaxPendingLines)
            m_pendingLines.push_back(std::move(line));
        else
            ++m_droppedLines;
    }
    m_linesQueued.notify_one();
    if (!m_entryAddedPosted.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_entryAddedPosted = false;
                Q_EMIT entryAdded();
            },
            Qt::QueuedConnection);
    }
}

QList<ActivityEntry> ActivityLog::recentEntries() const
{
    const std::lock_guard lock(m_mutex);
    return QList<ActivityEntry>(m_recent.begin(), m_recent.end());
}

void ActivityLog::writeUntilStopped()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_linesQueued.wait(lock, [this] { return m_stopping || !m_pendingLines.empty(); });
        if (m_pendingLines.empty())
            return; // stopping, and everything queued is written
        std::deque<QByteArray> lines;
        lines.swap(m_pendingLines);
        const qint64 dropped = std::exchange(m_droppedLines, 0);
        lock.unlock();

        if (dropped > 0) {
            lines.push_back(activityLine(
                {QDateTime::currentDateTime(), u"log"_s,
                 u"%1 events were not logged: the disk did not keep up."_s.arg(dropped), u"connector"_s}));
        }
        if (!writeLines(lines))
            reportWriteFailure();
        lock.lock();
    }
}

// Writer thread. Opens the file for every batch, so a log deleted or moved while the connector runs starts
// again instead of writing into a file nobody can see.
bool ActivityLog::writeLines(const std::deque<QByteArray> &lines)
{
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    bool written = true;
    qint64 size = file.size();
    for (const QByteArray &line : lines) {
        if (size > 0 && size + line.size() > m_rotationBytes) {
            file.close();
            written = rotate() && written;
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                return false;
            size = file.size();
        }
        if (file.write(line) != line.size())
            return false;
        size += line.size();
    }
    return file.flush() && written;
}

// Writer thread. activity.log.3 is dropped, .2 becomes .3, .1 becomes .2, the log becomes .1.
bool ActivityLog::rotate() const
{
    const QString oldest = rotatedPath(m_filePath, kKeptRotations);
    bool rotated = !QFile::exists(oldest) || QFile::remove(oldest);
    for (int generation = kKeptRotations - 1; generation >= 1; --generation) {
        const QString from = rotatedPath(m_filePath, generation);
        if (QFile::exists(from))
            rotated = QFile::rename(from, rotatedPath(m_filePath, generation + 1)) && rotated;
    }
    return QFile::rename(m_filePath, rotatedPath(m_filePath, 1)) && rotated;
}

void ActivityLog::reportWriteFailure()
{
    if (std::exchange(m_writeFailureReported, true))
        return;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT writeFailed(m_filePath); }, Qt::QueuedConnection);
}
