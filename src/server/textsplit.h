#pragma once

#include <QList>
#include <QStringView>

namespace TextSplit {

// Splits at the first separator that ends a non-empty piece, dropping empty pieces: "?a?b" gives
// "a" and "b", "a  b" gives "a" and " b" (the rest is kept whole, separators included), "??"
// gives nothing. Request targets and Authorization values are split this way.
QList<QStringView> splitOnce(QStringView text, QChar separator);

} // namespace TextSplit
