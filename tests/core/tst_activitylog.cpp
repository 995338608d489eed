#include "core/activitylog.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kTime(QDate(2026, 12, 6), QTime(19, 2, 3), QTimeZone(3600));

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

// The log's lines as written on real files: format, rotation, failure, and the entries kept in memory.
class ActivityLogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void line_data();
    void line();
    void rotation_movesTheLineThatWouldPassTheLimitToAFreshFile_data();
    void rotation_movesTheLineThatWouldPassTheLimitToAFreshFile();
    void unwritableFolder_reportedOnceAndNothingStops();
    void recentEntries_newestFirstCappedAndEverythingOnDiskAfterDestruction();
};

void ActivityLogTest::line_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("offset") << kTime << u"Played left deck."_s
                            << QByteArray("2026-12-06T19:02:03+01:00\tcommand\tPlayed left deck.\tdev ice\n");
    QTest::newRow("utc keeps an offset") << kTime.toUTC() << u"x"_s
                                         << QByteArray("2026-12-06T18:02:03+00:00\tcommand\tx\tdev ice\n");
    QTest::newRow("negative offset")
        << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(-(5 * 3600 + 1800)))
        << u"x"_s << QByteArray("2026-01-02T03:04:05-05:30\tcommand\tx\tdev ice\n");
    QTest::newRow("tab, CR and LF inside") << kTime << u"a\tb\r\nc \u00e9"_s
                                           << "2026-12-06T19:02:03+01:00\tcommand\ta b  c \u00e9\tdev ice\n"_ba;
}

void ActivityLogTest::line()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(activityLine({time, u"command"_s, message, u"dev\nice"_s}), expected);
}

void ActivityLogTest::rotation_movesTheLineThatWouldPassTheLimitToAFreshFile_data()
{
    QTest::addColumn<int>("slack"); // bytes of the limit beyond three lines
    QTest::addColumn<int>("linesPerFile");
    QTest::newRow("three lines fill the limit exactly") << 0 << 3;
    QTest::newRow("one byte short of three lines") << -1 << 2;
}

void ActivityLogTest::rotation_movesTheLineThatWouldPassTheLimitToAFreshFile()
{
    QFETCH(int, slack);
    QFETCH(int, linesPerFile);
    QTemporaryDir folder;
    const QString path = folder.filePath(u"activity.log"_s);
    QList<QByteArray> lines;
    for (int number = 0; number < 4 * linesPerFile + 1; ++number)
        lines << activityLine({kTime, u"command"_s, u"event %1"_s.arg(number, 2, 10, QLatin1Char('0')), u"window"_s});
    {
        ActivityLog log(path, 3 * lines.first().size() + slack);
        for (const QByteArray &line : std::as_const(lines))
            log.append({kTime, u"command"_s, QString::fromUtf8(line.split('\t').at(2)), u"window"_s});
    }
    const auto joined = [&](int first) { return lines.mid(first, linesPerFile).join(); };
    QCOMPARE(contents(path), lines.last());
    QCOMPARE(contents(path + u".1"_s), joined(3 * linesPerFile));
    QCOMPARE(contents(path + u".2"_s), joined(2 * linesPerFile));
    QCOMPARE(contents(path + u".3"_s), joined(linesPerFile));
    QVERIFY(!QFile::exists(path + u".4"_s));
}

// A log in a folder that cannot exist (its parent is a regular file).
void ActivityLogTest::unwritableFolder_reportedOnceAndNothingStops()
{
    QTemporaryDir folder;
    QFile blocker(folder.filePath(u"blocker"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QString path = folder.filePath(u"blocker/Tarvik/activity.log"_s);
    auto log = std::make_unique<ActivityLog>(path);
    QSignalSpy failed(log.get(), &ActivityLog::writeFailed);
    log->append({kTime, u"command"_s, u"first"_s, u"window"_s});
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), path);
    log->append({kTime, u"command"_s, u"second"_s, u"window"_s});
    QVERIFY(!failed.wait(300)); // a later failure is not reported again
    QCOMPARE(log->recentEntries().size(), 2);
    log.reset();
}

void ActivityLogTest::recentEntries_newestFirstCappedAndEverythingOnDiskAfterDestruction()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"state/activity.log"_s);
    QByteArray expected;
    {
        ActivityLog log(path);
        QSignalSpy added(&log, &ActivityLog::entryAdded);
        for (int number = 0; number < ActivityLog::recentLimit + 5; ++number) {
            const ActivityEntry entry{kTime, u"volume"_s, QString::number(number), u"window"_s};
            log.append(entry);
            expected += activityLine(entry);
        }
        const QList<ActivityEntry> recent = log.recentEntries();
        QCOMPARE(recent.size(), ActivityLog::recentLimit);
        QCOMPARE(recent.first().message, QString::number(ActivityLog::recentLimit + 4));
        QCOMPARE(recent.last().message, u"5"_s);
        QTRY_VERIFY(!added.isEmpty());
    }
    QCOMPARE(contents(path), expected);
}

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activitylog.moc"
