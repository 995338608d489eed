#include "app/devicelisting.h"

#include "router/settingsstore.h"
#include "router/storedpairing.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace {

QString when(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs)
        .toOffsetFromUtc(QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc())
        .toString(Qt::ISODate);
}

QString whenAndWhere(const QString &event, const std::optional<qint64> &time, const QString &address)
{
    return event + u' ' + when(*time) + (address.isEmpty() ? QString() : u" from "_s + address);
}

} // namespace

QStringList deviceListing(const QList<PairedDevice> &devices)
{
    QStringList lines;
    for (const PairedDevice &device : devices) {
        const QString paired = device.pairedAt ? whenAndWhere(u"paired"_s, device.pairedAt, device.pairedFrom)
                                               : u"paired by an earlier version"_s;
        const QString seen = device.lastSeenAt
                                 ? whenAndWhere(u"last seen"_s, device.lastSeenAt, device.lastSeenFrom)
                                 : u"not seen since pairing"_s;
        lines << device.id + u'\t' + device.name + u'\t' + paired + u'\t' + seen;
    }
    return lines;
}

QList<PairedDevice> storedPairedDevices(const QSettings &settings, DJPlatform platform)
{
    const SettingsStore store(settings.fileName(), settings.format());
    return StoredPairing::read(store.read(), platform).deviceList();
}
