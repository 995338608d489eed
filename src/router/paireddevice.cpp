#include "router/paireddevice.h"

#include "router/devicename.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDeviceIdLength = 8;

QJsonValue timeValue(const std::optional<qint64> &msecs)
{
    if (!msecs)
        return QJsonValue::Null;
    return QDateTime::fromMSecsSinceEpoch(*msecs, Qt::UTC).toString(Qt::ISODateWithMs);
}

std::optional<qint64> timeFrom(const QJsonValue &value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? std::optional(time.toMSecsSinceEpoch()) : std::nullopt;
}

} // namespace

bool PairedDevice::connected(qint64 now) const
{
    return lastSeenAt && now - *lastSeenAt < kConnectedMSecs && now >= *lastSeenAt;
}

QString PairedDevice::lastAddress() const
{
    if (!lastSeenFrom.isEmpty())
        return lastSeenFrom;
    if (!pairedFrom.isEmpty())
        return pairedFrom;
    return u"unknown address"_s;
}

QString PairedDevice::label() const
{
    return name + u' ' + lastAddress() + u' ' + id;
}

PairedDevice PairedDevice::unknown(const QString &id)
{
    return PairedDevice{id, unknownDeviceName(), {}, std::nullopt, std::nullopt, {}};
}

QString deviceId(const QString &token)
{
    const QByteArray digest = QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(kDeviceIdLength)).toUpper();
}

QString encodePairedDevices(const QList<PairedDevice> &devices)
{
    QJsonArray array;
    for (const PairedDevice &device : devices) {
        array.append(QJsonObject{{u"id"_s, device.id},
                                 {u"name"_s, device.name},
                                 {u"pairedFrom"_s, device.pairedFrom},
                                 {u"pairedAt"_s, timeValue(device.pairedAt)},
                                 {u"lastSeen"_s, timeValue(device.lastSeenAt)},
                                 {u"lastSeenFrom"_s, device.lastSeenFrom}});
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<PairedDevice> decodePairedDevices(const QString &json)
{
    QList<PairedDevice> devices;
    const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
    for (const QJsonValue &entry : array) {
        const QJsonObject object = entry.toObject();
        if (!object.value(u"id"_s).isString())
            continue;
        // A hand-edited name goes through the same cleaning as one taken from a request.
        const QString name = cleanDeviceName(object.value(u"name"_s).toString());
        devices.append(
            PairedDevice{object.value(u"id"_s).toString(), name, object.value(u"pairedFrom"_s).toString(),
                         timeFrom(object.value(u"pairedAt"_s)), timeFrom(object.value(u"lastSeen"_s)),
                         object.value(u"lastSeenFrom"_s).toString()});
    }
    return devices;
}
