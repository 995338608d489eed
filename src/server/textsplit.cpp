#include "server/textsplit.h"

namespace TextSplit {

QList<QStringView> splitOnce(QStringView text, QChar separator)
{
    QList<QStringView> pieces;
    qsizetype start = 0;
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (text[index] != separator)
            continue;
        const bool appended = index > start;
        if (appended)
            pieces.append(text.sliced(start, index - start));
        start = index + 1;
        if (appended)
            break;
    }
    if (start < text.size())
        pieces.append(text.sliced(start));
    return pieces;
}

} // namespace TextSplit
