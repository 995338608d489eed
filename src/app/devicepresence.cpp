#include "app/devicepresence.h"

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMinuteMSecs = 60 * 1000;
constexpr qint64 kHourMSecs = 60 * kMinuteMSecs;
constexpr qint64 kDayMSecs = 24 * kHourMSecs;

} // namespace

QString presenceText(const PairedDevice &device, qint64 now)
{
    if (device.connected(now))
        return u"Connected"_s;
    if (!device.lastSeenAt)
        return u"Not seen since pairing"_s;
    // A time ahead of now (the clock was set back) reads as just now.
    const qint64 ago = std::max<qint64>(0, now - *device.lastSeenAt);
    if (ago < kHourMSecs)
        return u"Last seen "_s + QString::number(std::max<qint64>(1, ago / kMinuteMSecs)) + u" min ago"_s;
    if (ago < kDayMSecs)
        return u"Last seen "_s + QString::number(ago / kHourMSecs) + u" h ago"_s;
    const qint64 days = ago / kDayMSecs;
    return u"Last seen "_s + QString::number(days) + (days == 1 ? u" day ago"_s : u" days ago"_s);
}
