#include "server/hostguard.h"

#include <QHostAddress>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool isDigits(QStringView text, qsizetype maxLength)
{
    return !text.isEmpty() && text.size() <= maxLength
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Four decimal numbers of at most 255: the only IPv4 form a browser puts in a Host header.
bool isDottedQuad(QStringView name)
{
    const QList<QStringView> parts = name.split(u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](QStringView part) {
               return isDigits(part, 3) && part.toInt() <= 255;
           });
}

bool isAllowedName(QStringView name)
{
    if (name.endsWith(u'.'))
        name.chop(1);
    if (isDottedQuad(name))
        return true;
    const QString lower = name.toString().toLower();
    return lower == "localhost"_L1 || (lower.size() > 6 && lower.endsWith(".local"_L1));
}

} // namespace

namespace HostGuard {

bool allows(QStringView host)
{
    if (host.isEmpty())
        return true;
    // The host part ends at the bracket that closes an IPv6 literal, else at the first colon.
    const bool bracketed = host.startsWith(u'[');
    const qsizetype end = bracketed ? host.indexOf(u']') + 1 : host.indexOf(u':');
    if (bracketed && end == 0)
        return false;
    const QStringView name = end < 0 ? host : host.first(end);
    const QStringView port = end < 0 ? QStringView() : host.sliced(end);
    if (!port.isEmpty() && !(port.startsWith(u':') && isDigits(port.sliced(1), 5)))
        return false;
    if (bracketed)
        return QHostAddress(name.sliced(1, name.size() - 2).toString()).protocol()
               == QAbstractSocket::IPv6Protocol;
    return isAllowedName(name);
}

} // namespace HostGuard
