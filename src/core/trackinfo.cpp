#include "core/trackinfo.h"

using namespace Qt::StringLiterals;

QJsonObject TrackInfo::toJson() const
{
    QJsonObject object{{u"title"_s, title}};
    if (artist)
        object.insert(u"artist"_s, *artist);
    return object;
}

std::optional<TrackInfo> TrackInfo::fromJson(const QJsonObject &object)
{
    const QJsonValue title = object.value(u"title"_s);
    if (!title.isString())
        return std::nullopt;

    TrackInfo track{title.toString(), std::nullopt};
    const QJsonValue artist = object.value(u"artist"_s);
    if (artist.isString())
        track.artist = artist.toString();
    else if (!artist.isUndefined() && !artist.isNull())
        return std::nullopt;
    return track;
}
