#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the connector knows about one paired device. The id names it in the window and the activity
// log without revealing its token; times are milliseconds since the epoch.
struct PairedDevice
{
    // A device is connected while its last authorised request is younger than this.
    static constexpr qint64 kConnectedMSecs = 10 * 1000;

    QString id;
    QString name;
    // Empty when unknown (a token paired by an older version).
    QString pairedFrom;
    std::optional<qint64> pairedAt;
    std::optional<qint64> lastSeenAt;
    QString lastSeenFrom;

    bool connected(qint64 now) const;
    // Where it was last seen, else where it paired from; "unknown address" when neither is known.
    QString lastAddress() const;
    // "Tarvik DJ Remote 192.168.1.23 A1B2C3D4": the device field of the activity log.
    QString label() const;

    // The record of a token that has none: an unnamed device.
    static PairedDevice unknown(const QString &id);

    bool operator==(const PairedDevice &) const = default;
};

// The first 8 hexadecimal characters, upper case, of the SHA-256 of the token.
QString deviceId(const QString &token);

// The stored form: a JSON array of objects, readable in the settings file. Entries that are not
// objects with a string id are skipped.
QString encodePairedDevices(const QList<PairedDevice> &devices);
QList<PairedDevice> decodePairedDevices(const QString &json);
