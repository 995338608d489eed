#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// One parsed request. A plain value: safe to copy between threads.
struct HTTPRequest
{
    // Upper-cased at parse time.
    QString method;
    // The request target without its query part.
    QString path;
    // Names lower-cased and trimmed, values trimmed; a repeated name keeps its last value.
    QHash<QString, QString> headers;
    QByteArray body;

    // The token of an "Authorization: Bearer TOKEN" header; the scheme matches in any letter case.
    std::optional<QString> bearerToken() const;
};
