#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

class QDebug;

// One of the two decks of the DJ software.
enum class DeckSide { left, right };

inline constexpr std::array kAllDeckSides{DeckSide::left, DeckSide::right};

QString rawValue(DeckSide deck);
std::optional<DeckSide> deckSideFromRawValue(QStringView raw);

QString displayName(DeckSide deck);

QJsonValue toJson(DeckSide deck);
std::optional<DeckSide> deckSideFromJson(const QJsonValue &value);

QDebug operator<<(QDebug debug, DeckSide deck);
