// The activity log as the model shows and feeds it.
#include "app/connectormodel.h"

#include "core/activitylog.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

QString ConnectorModel::activityLogFolder() const
{
    if (!m_environment.activityLog)
        return {};
    return QFileInfo(m_environment.activityLog->filePath()).absolutePath();
}

void ConnectorModel::listenToActivityLog()
{
    ActivityLog *log = m_environment.activityLog.get();
    if (!log)
        return;
    connect(log, &ActivityLog::entryAdded, this, &ConnectorModel::refreshActivityEntries);
    connect(log, &ActivityLog::writeFailed, this, [this](const QString &filePath) {
        m_activityLogWarning = u"The activity log cannot be written: "_s + filePath
                               + u". The connector keeps working without it."_s;
        Q_EMIT activityLogWarningChanged();
        // Said once, like any other message: the window's status line and the headless output show it.
        setLastCommand(m_activityLogWarning);
    });
    refreshActivityEntries();
}

void ConnectorModel::refreshActivityEntries()
{
    QVariantList entries;
    for (const ActivityEntry &entry : m_environment.activityLog->recentEntries()) {
        entries.append(QVariantMap{{u"time"_s, entry.time.toString(u"yyyy-MM-dd HH:mm:ss"_s)},
                                   {u"kind"_s, entry.kind},
                                   {u"message"_s, entry.message},
                                   {u"device"_s, entry.device}});
    }
    m_activityEntries = entries;
    Q_EMIT activityEntriesChanged();
}

void ConnectorModel::recordActivity(const QString &kind, const QString &message, const QString &device) const
{
    if (m_environment.activityLog) {
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(m_environment.clock->nowMSecsSinceEpoch());
        m_environment.activityLog->append({now, kind, message, device});
    }
}

void ConnectorModel::recordMidiState()
{
    const QString state = m_midiError ? *m_midiError : u"Virtual MIDI device ready"_s;
    if (state == m_recordedMidiState)
        return;
    m_recordedMidiState = state;
    recordActivity(u"midi"_s, state, u"connector"_s);
}
