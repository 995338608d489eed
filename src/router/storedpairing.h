#pragma once

#include "core/djplatform.h"
#include "router/paireddevice.h"

#include <QVariantMap>

#include <map>
#include <set>

// A platform's device tokens and their records as the settings file holds them.
struct StoredPairing
{
    std::set<QString> tokens;
    // By device id; only records whose token is still paired.
    std::map<QString, PairedDevice> devices;
    // Whether the file has the records key at all (older versions did not write it).
    bool devicesStored = false;

    // From every key of the settings file.
    static StoredPairing read(const QVariantMap &stored, DJPlatform platform);
    // Adds the tokens (sorted) and, once there are any, the records to the values of one write.
    void addTo(QVariantMap &values, DJPlatform platform);
    // One per token, ordered by id; a token without a record is an unknown device.
    QList<PairedDevice> deviceList() const;
};
