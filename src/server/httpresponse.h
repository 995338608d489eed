#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

// One response. A plain value: safe to copy between threads.
struct HTTPResponse
{
    int status = 200;
    QString reason;
    // Before the four fixed headers that encoded() adds.
    QMap<QString, QString> headers;
    QByteArray body;

    // Compact JSON of the object, the reason phrase of the status, and a JSON Content-Type.
    static HTTPResponse json(int status, const QJsonObject &object);
    // The answer when the server no longer exists to route a request.
    static HTTPResponse serverError();

    // Status line, headers in byte order of name (with Content-Length, Connection, Cache-Control and
    // X-Content-Type-Options set), a blank line and the body.
    QByteArray encoded() const;
};
