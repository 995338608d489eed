#include "router/devicename.h"

#include <QByteArray>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kMaxNameLength = 64;

} // namespace

QString unknownDeviceName()
{
    return u"Unknown device"_s;
}

QString deviceNameFromUserAgent(const QString &userAgent)
{
    const QString trimmed = userAgent.trimmed();
    // The product token ends at its version's slash or at the next product; a comment is no product.
    qsizetype end = 0;
    while (end < trimmed.size() && trimmed.at(end) != u'/' && !trimmed.at(end).isSpace())
        ++end;
    const QString product = trimmed.left(end);
    if (product.startsWith(u'('))
        return unknownDeviceName();
    return cleanDeviceName(QString::fromUtf8(QByteArray::fromPercentEncoding(product.toUtf8())));
}

QString cleanDeviceName(const QString &name)
{
    QString cleaned;
    for (const QChar character : name) {
        if (character.category() != QChar::Other_Control && character.category() != QChar::Other_Format)
            cleaned.append(character);
    }
    cleaned = cleaned.simplified();
    if (cleaned.size() > kMaxNameLength) {
        // A surrogate pair is not cut in half.
        qsizetype length = kMaxNameLength;
        if (cleaned.at(length - 1).isHighSurrogate())
            --length;
        cleaned = cleaned.left(length).trimmed();
    }
    return cleaned.isEmpty() ? unknownDeviceName() : cleaned;
}
