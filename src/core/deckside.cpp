#include "core/deckside.h"

#include <QDebug>

using namespace Qt::StringLiterals;

QString rawValue(DeckSide deck)
{
    return deck == DeckSide::left ? u"left"_s : u"right"_s;
}

std::optional<DeckSide> deckSideFromRawValue(QStringView raw)
{
    for (DeckSide deck : kAllDeckSides) {
        if (raw == rawValue(deck))
            return deck;
    }
    return std::nullopt;
}

QString displayName(DeckSide deck)
{
    return deck == DeckSide::left ? u"Left"_s : u"Right"_s;
}

QJsonValue toJson(DeckSide deck)
{
    return rawValue(deck);
}

std::optional<DeckSide> deckSideFromJson(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return deckSideFromRawValue(value.toString());
}

QDebug operator<<(QDebug debug, DeckSide deck)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "DeckSide(" << rawValue(deck) << ')';
    return debug;
}
