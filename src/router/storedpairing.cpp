#include "router/storedpairing.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView kPairedTokensSuffix(".pairedTokens");
constexpr QLatin1StringView kPairedDevicesSuffix(".pairedDevices");

} // namespace

StoredPairing StoredPairing::read(const QVariantMap &stored, DJPlatform platform)
{
    StoredPairing pairing;
    const QString prefix = defaultsPrefix(platform);
    const QStringList tokens = stored.value(prefix + kPairedTokensSuffix).toStringList();
    pairing.tokens.insert(tokens.cbegin(), tokens.cend());
    const QVariant devices = stored.value(prefix + kPairedDevicesSuffix);
    pairing.devicesStored = devices.isValid();
    std::set<QString> ids;
    for (const QString &token : pairing.tokens)
        ids.insert(deviceId(token));
    // Records of tokens that are gone (edited out of the file) are dropped.
    for (const PairedDevice &device : decodePairedDevices(devices.toString())) {
        if (ids.contains(device.id))
            pairing.devices.insert_or_assign(device.id, device);
    }
    return pairing;
}

void StoredPairing::addTo(QVariantMap &values, DJPlatform platform)
{
    const QString prefix = defaultsPrefix(platform);
    // std::set keeps the tokens in ascending order.
    values.insert(prefix + kPairedTokensSuffix, QStringList(tokens.cbegin(), tokens.cend()));
    // An older file stays as older versions wrote it until a device has a record.
    if (devices.empty() && !devicesStored)
        return;
    devicesStored = true;
    QList<PairedDevice> records;
    for (const auto &[id, device] : devices)
        records.append(device);
    values.insert(prefix + kPairedDevicesSuffix, encodePairedDevices(records));
}

QList<PairedDevice> StoredPairing::deviceList() const
{
    std::map<QString, PairedDevice> byId;
    for (const QString &token : tokens) {
        const QString id = deviceId(token);
        const auto record = devices.find(id);
        byId.insert_or_assign(id, record != devices.end() ? record->second : PairedDevice::unknown(id));
    }
    QList<PairedDevice> list;
    for (const auto &[id, device] : byId)
        list.append(device);
    return list;
}
