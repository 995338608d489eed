#include "server/httpresponse.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

QString reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return u"OK"_s;
    case 400:
        return u"Bad Request"_s;
    case 401:
        return u"Unauthorized"_s;
    case 403:
        return u"Forbidden"_s;
    case 404:
        return u"Not Found"_s;
    default:
        return u"Error"_s;
    }
}

} // namespace

HTTPResponse HTTPResponse::json(int status, const QJsonObject &object)
{
    HTTPResponse response;
    response.status = status;
    response.reason = reasonPhrase(status);
    response.headers.insert(u"Content-Type"_s, u"application/json; charset=utf-8"_s);
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

HTTPResponse HTTPResponse::serverError()
{
    return json(500, {{u"ok"_s, false}, {u"message"_s, u"Server error."_s}});
}

QByteArray HTTPResponse::encoded() const
{
    QMap<QString, QString> allHeaders = headers;
    allHeaders.insert(u"Content-Length"_s, QString::number(body.size()));
    allHeaders.insert(u"Connection"_s, u"close"_s);
    allHeaders.insert(u"X-Content-Type-Options"_s, u"nosniff"_s);
    allHeaders.insert(u"Cache-Control"_s, u"no-store"_s);

    // Sorted as bytes, so upper-case names come before lower-case ones whatever QString's order is.
    QMap<QByteArray, QByteArray> lines;
    for (auto header = allHeaders.cbegin(); header != allHeaders.cend(); ++header)
        lines.insert(header.key().toUtf8(), header.value().toUtf8());

    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason.toUtf8() + "\r\n";
    for (auto line = lines.cbegin(); line != lines.cend(); ++line)
        bytes += line.key() + ": " + line.value() + "\r\n";
    bytes += "\r\n";
    bytes += body;
    return bytes;
}
