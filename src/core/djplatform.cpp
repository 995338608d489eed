#include "core/djplatform.h"

#include <QDebug>

using namespace Qt::StringLiterals;

QString rawValue(DJPlatform platform)
{
    switch (platform) {
    case DJPlatform::serato:
        return u"serato"_s;
    case DJPlatform::virtualDJ:
        return u"virtualDJ"_s;
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<DJPlatform> djPlatformFromRawValue(QStringView raw)
{
    for (DJPlatform platform : kAllDJPlatforms) {
        if (raw == rawValue(platform))
            return platform;
    }
    return std::nullopt;
}

QString displayName(DJPlatform platform)
{
    return platform == DJPlatform::serato ? u"Serato DJ Pro"_s : u"VirtualDJ"_s;
}

QString shortName(DJPlatform platform)
{
    return platform == DJPlatform::serato ? u"SERATO"_s : u"VIRTUALDJ"_s;
}

std::uint16_t port(DJPlatform platform)
{
    return static_cast<std::uint16_t>(53731 + static_cast<int>(platform));
}

QString bonjourType(DJPlatform platform)
{
    return platform == DJPlatform::serato ? u"_tarvikdjserato._tcp"_s : u"_tarvikdjvirtual._tcp"_s;
}

QString serviceName(DJPlatform platform)
{
    return platform == DJPlatform::serato ? u"Tarvik DJ Connector - Serato"_s
                                          : u"Tarvik DJ Connector - VirtualDJ"_s;
}

QString midiDeviceName(DJPlatform platform)
{
    return platform == DJPlatform::serato ? u"Tarvik DJ Connector Serato"_s
                                          : u"Tarvik DJ Connector VirtualDJ"_s;
}

QString defaultsPrefix(DJPlatform platform)
{
    return u"TarvikDJConnector."_s + rawValue(platform);
}

QJsonValue toJson(DJPlatform platform)
{
    return rawValue(platform);
}

std::optional<DJPlatform> djPlatformFromJson(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return djPlatformFromRawValue(value.toString());
}

QDebug operator<<(QDebug debug, DJPlatform platform)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "DJPlatform(" << rawValue(platform) << ')';
    return debug;
}
