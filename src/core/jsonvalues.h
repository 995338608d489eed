#pragma once

#include <QJsonValue>

#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>

namespace JsonValues {

// A JSON number with an integral value that fits T; fractions, NaN and out-of-range numbers give none.
template<typename T> std::optional<T> integral(const QJsonValue &value)
{
    static_assert(std::is_signed_v<T>);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number)
        return std::nullopt;
    // The upper bound is exclusive: max() + 1 is exactly representable, max() itself may not be.
    if (number < static_cast<double>(std::numeric_limits<T>::min())
        || number >= -2.0 * static_cast<double>(std::numeric_limits<T>::min() / 2))
        return std::nullopt;
    return static_cast<T>(number);
}

} // namespace JsonValues
