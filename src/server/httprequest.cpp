#include "server/httprequest.h"

#include "server/textsplit.h"

using namespace Qt::StringLiterals;

std::optional<QString> HTTPRequest::bearerToken() const
{
    const auto authorization = headers.constFind(u"authorization"_s);
    if (authorization == headers.cend())
        return std::nullopt;
    const QList<QStringView> pieces = TextSplit::splitOnce(*authorization, u' ');
    if (pieces.size() != 2 || pieces.first().toString().toLower() != "bearer"_L1)
        return std::nullopt;
    return pieces.last().toString();
}
