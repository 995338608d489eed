#include "core/commandresult.h"

#include "core/jsonvalues.h"

using namespace Qt::StringLiterals;

QJsonObject CommandResult::toJson() const
{
    QJsonObject object{
        {u"ok"_s, ok},
        {u"message"_s, message},
        {u"expectedState"_s, expectedState},
        {u"commandID"_s, commandID},
        {u"deck"_s, deck},
    };
    if (volumePercent)
        object.insert(u"volumePercent"_s, *volumePercent);
    return object;
}

std::optional<CommandResult> CommandResult::fromJson(const QJsonObject &object)
{
    const QJsonValue ok = object.value(u"ok"_s);
    const QJsonValue message = object.value(u"message"_s);
    const QJsonValue expectedState = object.value(u"expectedState"_s);
    const QJsonValue commandID = object.value(u"commandID"_s);
    const QJsonValue deck = object.value(u"deck"_s);
    if (!ok.isBool() || !message.isString() || !expectedState.isString() || !commandID.isString()
        || !deck.isString()) {
        return std::nullopt;
    }

    CommandResult result{ok.toBool(),          message.toString(), expectedState.toString(),
                         commandID.toString(), deck.toString(),    std::nullopt};
    const QJsonValue volume = object.value(u"volumePercent"_s);
    if (!volume.isUndefined() && !volume.isNull()) {
        const std::optional<int> percent = JsonValues::integral<int>(volume);
        if (!percent)
            return std::nullopt;
        result.volumePercent = percent;
    }
    return result;
}
