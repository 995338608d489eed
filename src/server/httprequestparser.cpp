#include "server/httprequestparser.h"

#include "core/decimalinteger.h"
#include "server/textsplit.h"

#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kHeaderEnd = "\r\n\r\n";

// Digits with an optional sign that parseDecimalInteger refused: beyond the 64-bit range.
bool isOutOfRangeInteger(QStringView text)
{
    if (text.startsWith(u'+') || text.startsWith(u'-'))
        text = text.sliced(1);
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString pathOfTarget(QStringView target)
{
    const QList<QStringView> pieces = TextSplit::splitOnce(target, u'?');
    return (pieces.isEmpty() ? target : pieces.first()).toString();
}

} // namespace

HTTPRequestParser::HTTPRequestParser(qsizetype sizeLimit)
    : m_sizeLimit(sizeLimit)
{}

HTTPRequestParser::Result HTTPRequestParser::parse(QByteArrayView bytes, qsizetype sizeLimit)
{
    return HTTPRequestParser(sizeLimit).append(bytes);
}

HTTPRequestParser::Result HTTPRequestParser::append(QByteArrayView bytes)
{
    if (m_final.outcome != Outcome::incomplete)
        return m_final;
    const qsizetype searchFrom = qMax<qsizetype>(0, m_buffer.size() - (kHeaderEnd.size() - 1));
    m_buffer.append(bytes);
    // The limit counts every byte received, so even a complete request above it is refused.
    if (m_buffer.size() > m_sizeLimit)
        return m_final = {Outcome::tooLarge, {}};
    if (m_bodyStart < 0) {
        const qsizetype headerEnd = m_buffer.indexOf(kHeaderEnd, searchFrom);
        if (headerEnd < 0)
            return {};
        m_bodyStart = headerEnd + kHeaderEnd.size();
        m_head = parseHead(QByteArrayView(m_buffer).first(headerEnd));
    }
    switch (m_head.outcome) {
    case Outcome::incomplete:
        return {};
    case Outcome::tooLarge:
    case Outcome::malformed:
        return m_final = {m_head.outcome, {}};
    case Outcome::complete:
        break;
    }
    // Decided from the declared length, before the body arrives: it could never fit.
    if (m_head.contentLength > m_sizeLimit - m_bodyStart)
        return m_final = {Outcome::tooLarge, {}};
    if (m_buffer.size() - m_bodyStart < m_head.contentLength)
        return {};
    m_head.request.body = m_buffer.sliced(m_bodyStart, m_head.contentLength);
    return m_final = {Outcome::complete, m_head.request};
}

HTTPRequestParser::Head HTTPRequestParser::parseHead(QByteArrayView headerBlock)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(headerBlock);
    if (decoder.hasError())
        return {};
    // Views into the decoded text: only the values kept are copied.
    const QStringView lineEnd(u"\r\n");
    const qsizetype requestLineEnd = text.indexOf(lineEnd);
    const QStringView requestLine =
        requestLineEnd < 0 ? QStringView(text) : QStringView(text).first(requestLineEnd);
    QStringView method;
    QStringView target;
    for (const QStringView piece : requestLine.tokenize(u' ', Qt::SkipEmptyParts)) {
        if (!method.isNull()) {
            target = piece;
            break;
        }
        method = piece;
    }
    if (target.isNull())
        return {};

    Head head;
    if (requestLineEnd >= 0) {
        for (const QStringView line : QStringView(text).sliced(requestLineEnd + 2).tokenize(lineEnd)) {
            const qsizetype colon = line.indexOf(u':');
            if (colon < 0)
                continue;
            head.request.headers.insert(line.first(colon).trimmed().toString().toLower(),
                                        line.sliced(colon + 1).trimmed().toString());
        }
    }

    // Anything but a decimal integer counts as no body; a negative length is malformed, and digits
    // beyond the 64-bit range are no small request either.
    const QString lengthText = head.request.headers.value(u"content-length"_s);
    const std::optional<qint64> length = parseDecimalInteger(lengthText);
    if (!length && isOutOfRangeInteger(lengthText))
        return {lengthText.startsWith(u'-') ? Outcome::malformed : Outcome::tooLarge, {}, 0};
    if (length.value_or(0) < 0)
        return {Outcome::malformed, {}, 0};
    head.contentLength = length.value_or(0);

    head.outcome = Outcome::complete;
    head.request.method = method.toString().toUpper();
    head.request.path = pathOfTarget(target);
    return head;
}
