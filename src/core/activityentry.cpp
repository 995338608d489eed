#include "core/activityentry.h"

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Qt::ISODate writes "Z" instead of "+00:00" for UTC; a log read across time zones wants the offset always.
QString isoTimeWithOffset(const QDateTime &time)
{
    const int offsetSeconds = time.offsetFromUtc();
    const int offsetMinutes = std::abs(offsetSeconds) / 60;
    return time.toString(u"yyyy-MM-ddTHH:mm:ss"_s) + (offsetSeconds < 0 ? u'-' : u'+')
           + u"%1:%2"_s.arg(offsetMinutes / 60, 2, 10, QLatin1Char('0'))
                 .arg(offsetMinutes % 60, 2, 10, QLatin1Char('0'));
}

QString oneLine(QString field)
{
    for (QChar &character : field) {
        if (character == u'\t' || character == u'\r' || character == u'\n')
            character = u' ';
    }
    return field;
}

} // namespace

QByteArray activityLine(const ActivityEntry &entry)
{
    const QString line = isoTimeWithOffset(entry.time) + u'\t' + oneLine(entry.kind) + u'\t'
                         + oneLine(entry.message) + u'\t' + oneLine(entry.device) + u'\n';
    return line.toUtf8();
}
