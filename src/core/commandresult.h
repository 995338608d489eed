#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The outcome of one deck command, returned to the phone as JSON.
struct CommandResult
{
    bool ok = false;
    QString message;
    QString expectedState;
    QString commandID;
    QString deck;
    std::optional<int> volumePercent;

    // An absent volume is omitted, never written as null.
    QJsonObject toJson() const;
    // No value when a required key is missing or has the wrong JSON type.
    static std::optional<CommandResult> fromJson(const QJsonObject &object);
};
