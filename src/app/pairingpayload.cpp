#include "app/pairingpayload.h"

#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

std::optional<QString> pairingPayload(DJPlatform platform, const QString &remoteAddress,
                                      const QString &pairingCode)
{
    if (pairingCode.size() != 6 || !remoteAddress.startsWith(u"http"_s))
        return std::nullopt;

    // QUrlQuery reads "%" followed by two hex digits as an escape, so a literal one goes in escaped.
    const auto literal = [](QString value) { return value.replace(u'%', "%25"_L1); };
    QUrlQuery query;
    query.addQueryItem(u"platform"_s, rawValue(platform));
    query.addQueryItem(u"address"_s, literal(remoteAddress));
    query.addQueryItem(u"code"_s, literal(pairingCode));

    QUrl url;
    url.setScheme(u"tarvikdjremote"_s);
    url.setHost(u"pair"_s);
    url.setQuery(query);
    if (!url.isValid())
        return std::nullopt;
    return url.toString(QUrl::FullyEncoded);
}
