#include "app/updatemanifest.h"

#include "core/decimalinteger.h"
#include "core/jsonvalues.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

std::optional<UpdateManifest> UpdateManifest::decode(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue version = object.value(u"version"_s);
    const std::optional<qint64> build = JsonValues::integral<qint64>(object.value(u"build"_s));
    const QJsonValue link = object.value(u"download_url"_s);
    if (!version.isString() || !build || !link.isString())
        return std::nullopt;

    const QUrl downloadURL(link.toString(), QUrl::StrictMode);
    const QString scheme = downloadURL.scheme().toLower();
    if (!downloadURL.isValid() || downloadURL.isRelative() || downloadURL.host().isEmpty()
        || (scheme != "http"_L1 && scheme != "https"_L1)) {
        return std::nullopt;
    }
    return UpdateManifest{version.toString(), *build, downloadURL};
}

UpdateVerdict judgeUpdate(const UpdateManifest &manifest, const QString &currentBuild)
{
    const qint64 current = parseDecimalInteger(currentBuild).value_or(1);
    if (manifest.build > current)
        return {u"Version "_s + manifest.version + u" is available."_s, manifest.downloadURL};
    return {u"Tarvik DJ Connector is up to date."_s, {}};
}
