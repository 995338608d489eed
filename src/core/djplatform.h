#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

class QDebug;

// The DJ software the connector drives. Raw values are the wire form and match case-sensitively.
enum class DJPlatform { serato, virtualDJ };

inline constexpr std::array kAllDJPlatforms{DJPlatform::serato, DJPlatform::virtualDJ};

QString rawValue(DJPlatform platform);
std::optional<DJPlatform> djPlatformFromRawValue(QStringView raw);

QString displayName(DJPlatform platform);
QString shortName(DJPlatform platform);
std::uint16_t port(DJPlatform platform);
QString bonjourType(DJPlatform platform);
QString serviceName(DJPlatform platform);
QString midiDeviceName(DJPlatform platform);
QString defaultsPrefix(DJPlatform platform);

QJsonValue toJson(DJPlatform platform);
// No value when the JSON is not a string holding a raw value; the enclosing decode then fails.
std::optional<DJPlatform> djPlatformFromJson(const QJsonValue &value);

QDebug operator<<(QDebug debug, DJPlatform platform);
