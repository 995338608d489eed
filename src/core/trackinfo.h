#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The track the DJ software is playing.
struct TrackInfo
{
    QString title;
    std::optional<QString> artist;

    QJsonObject toJson() const;
    static std::optional<TrackInfo> fromJson(const QJsonObject &object);

    // An absent artist differs from an empty one.
    friend bool operator==(const TrackInfo &, const TrackInfo &) = default;
};
