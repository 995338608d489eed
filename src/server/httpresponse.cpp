#include "server/httpresponse.h"

#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

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

// Built in one buffer: every poll is answered through here.
QByteArray HTTPResponse::encoded() const
{
    const std::array<std::pair<QByteArray, QByteArray>, 4> fixed{{
        {QByteArrayLiteral("Content-Length"), QByteArray::number(body.size())},
        {QByteArrayLiteral("Connection"), QByteArrayLiteral("close")},
        {QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff")},
        {QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store")},
    }};
    std::vector<std::pair<QByteArray, QByteArray>> lines;
    lines.reserve(size_t(headers.size()) + fixed.size());
    for (auto header = headers.cbegin(); header != headers.cend(); ++header) {
        const QByteArray name = header.key().toUtf8();
        // The fixed headers replace one of exactly the same name.
        if (std::none_of(fixed.cbegin(), fixed.cend(), [&](const auto &line) { return line.first == name; }))
            lines.emplace_back(name, header.value().toUtf8());
    }
    lines.insert(lines.end(), fixed.cbegin(), fixed.cend());
    // Sorted as bytes, so upper-case names come before lower-case ones.
    std::sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    const QByteArray statusText = QByteArray::number(status);
    const QByteArray reasonText = reason.toUtf8();
    qsizetype size = 9 + statusText.size() + 1 + reasonText.size() + 2 + 2 + body.size();
    for (const auto &[name, value] : lines)
        size += name.size() + 2 + value.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    bytes.append("HTTP/1.1 ").append(statusText).append(' ').append(reasonText).append("\r\n");
    for (const auto &[name, value] : lines)
        bytes.append(name).append(": ").append(value).append("\r\n");
    bytes.append("\r\n").append(body);
    return bytes;
}
