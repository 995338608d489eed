#pragma once

#include <QStringView>

#include <optional>

// A decimal integer with an optional leading "+" or "-", ASCII digits only, within 64 bits.
std::optional<qint64> parseDecimalInteger(QStringView text);
