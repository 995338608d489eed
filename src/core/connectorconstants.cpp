#include "core/connectorconstants.h"

using namespace Qt::StringLiterals;

namespace ConnectorConstants {

QString productName()
{
    return u"Tarvik DJ Connector"_s;
}

QString version()
{
    return u"1.0.6"_s;
}

QString build()
{
    return u"8"_s;
}

QString supportProduct()
{
    return u"dj-connector"_s;
}

QString identifierPrefix()
{
    return u"com.tarvik.djconnector."_s;
}

QUrl updateManifestURL()
{
    static const QUrl url(u"https://downloads.tarviksoftware.com/updates/dj-connector-macos.json"_s);
    return url;
}

QUrl supportPageURL()
{
    static const QUrl url(u"https://www.tarviksoftware.com/contact-support.php"_s);
    return url;
}

} // namespace ConnectorConstants
