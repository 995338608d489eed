#include "core/activitylog.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

ActivityEntry entry(const QString &message)
{
    return {QDateTime(QDate(2026, 12, 6), QTime(19, 2, 3), QTimeZone(3600)), u"command"_s, message,
            u"window"_s};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

// The log's lines on real files: format, rotation, failure, and the entries kept in memory.
class ActivityLogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void line_keepsTheOffsetAndOneLinePerEvent()
    {
        // Tabs, CR and LF inside the fields must not split the event; UTC keeps a numeric offset.
        const QDateTime time = entry({}).time;
        const std::pair<QDateTime, QString> times[] = {
            {time, u"2026-12-06T19:02:03+01:00"_s},
            {time.toUTC(), u"2026-12-06T18:02:03+00:00"_s},
            {QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(-(5 * 3600 + 1800))),
             u"2026-01-02T03:04:05-05:30"_s}};
        for (const auto &[time, written] : times) {
            const ActivityEntry tangled{time, u"k\t"_s, u"a\tb\r\nc \u00e9"_s, u"d\ne"_s};
            QCOMPARE(activityLine(tangled), (written + u"\tk \ta b  c \u00e9\td e\n"_s).toUtf8());
        }
    }

    void rotation_movesTheLineThatWouldPassTheLimitToAFreshFile()
    {
        // A limit that three lines fill exactly, and one a byte short of that.
        for (const auto &[slack, linesPerFile] : {std::pair{0, 3}, std::pair{-1, 2}}) {
            QTemporaryDir folder;
            const QString path = folder.filePath(u"activity.log"_s);
            QList<QByteArray> lines;
            {
                ActivityLog log(path, 3 * activityLine(entry(u"event 00"_s)).size() + slack);
                for (int number = 0; number < 4 * linesPerFile + 1; ++number) {
                    log.append(entry(u"event %1"_s.arg(number, 2, 10, QLatin1Char('0'))));
                    lines << activityLine(log.recentEntries().first());
                }
            }
            QCOMPARE(contents(path), lines.last());
            for (int rotation = 1; rotation <= 3; ++rotation) {
                const QByteArray rotated = lines.mid((4 - rotation) * linesPerFile, linesPerFile).join();
                QCOMPARE(contents(path + u'.' + QString::number(rotation)), rotated);
            }
            QVERIFY(!QFile::exists(path + u".4"_s));
        }
    }

    void unwritableFolder_reportedOnceAndEntriesStillKept()
    {
        // A folder that cannot be made: its parent is a regular file.
        QTemporaryDir folder;
        QVERIFY(QFile(folder.filePath(u"blocker"_s)).open(QIODevice::WriteOnly));
        const QString path = folder.filePath(u"blocker/Tarvik/activity.log"_s);
        ActivityLog log(path);
        QSignalSpy failed(&log, &ActivityLog::writeFailed);
        log.append(entry(u"0"_s));
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), path);
        // A later failure is not reported again; the newest entries stay in memory.
        for (int number = 1; number < ActivityLog::recentLimit + 5; ++number)
            log.append(entry(QString::number(number)));
        QVERIFY(!failed.wait(300));
        QCOMPARE(log.recentEntries().size(), ActivityLog::recentLimit);
        QCOMPARE(log.recentEntries().first().message, QString::number(ActivityLog::recentLimit + 4));
    }
};

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activitylog.moc"
