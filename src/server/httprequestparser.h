#pragma once

#include "server/httprequest.h"

#include <QByteArray>
#include <QByteArrayView>

// Recognises one request in the bytes of a connection as they arrive. The header block is parsed
// once, when its end is in, so a peer trickling bytes costs only the new bytes. Plain value; no I/O.
class HTTPRequestParser
{
public:
    static constexpr qsizetype kMaxRequestSize = 300000;

    enum class Outcome {
        // Wait for more bytes. Also the answer for a header block that will never parse (not
        // UTF-8, a request line of one piece): the connection reads on until the peer stops.
        incomplete,
        complete,
        // More than the size limit received or declared; answered 400 "Request too large.".
        tooLarge,
        // A negative Content-Length; closed without an answer.
        malformed,
    };

    struct Result
    {
        Outcome outcome = Outcome::incomplete;
        // Set only for a complete request.
        HTTPRequest request;
    };

    explicit HTTPRequestParser(qsizetype sizeLimit = kMaxRequestSize);

    // Adds the next bytes received. Once the outcome is other than incomplete it stays so.
    Result append(QByteArrayView bytes);

    // The outcome for a whole buffer at once.
    static Result parse(QByteArrayView bytes, qsizetype sizeLimit = kMaxRequestSize);

private:
    struct Head
    {
        Outcome outcome = Outcome::incomplete;
        HTTPRequest request;
        qint64 contentLength = 0;
    };

    static Head parseHead(QByteArrayView headerBlock);

    qsizetype m_sizeLimit;
    QByteArray m_buffer;
    // Where the body starts, once the blank line after the header block has arrived.
    qsizetype m_bodyStart = -1;
    Head m_head;
    Result m_final;
};
