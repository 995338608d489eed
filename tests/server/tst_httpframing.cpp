#include "server/httprequestparser.h"
#include "server/httpresponse.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Outcome = HTTPRequestParser::Outcome;

Q_DECLARE_METATYPE(HTTPRequestParser::Outcome)

namespace {

HTTPRequest parseComplete(const QByteArray &bytes)
{
    const HTTPRequestParser::Result result = HTTPRequestParser::parse(bytes);
    if (result.outcome != Outcome::complete)
        qWarning("not complete: %s", bytes.left(200).constData());
    return result.request;
}

QByteArray requestWithBody(qsizetype totalSize)
{
    const QByteArray head = "POST /api/script HTTP/1.1\r\nContent-Length: ";
    // The length digits themselves count towards the total.
    for (qsizetype digits = 1; digits < 10; ++digits) {
        const qsizetype bodySize = totalSize - head.size() - digits - 4;
        if (QByteArray::number(bodySize).size() == digits)
            return head + QByteArray::number(bodySize) + "\r\n\r\n" + QByteArray(bodySize, 'x');
    }
    return {};
}

} // namespace

class HTTPFramingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_waitsForBodyAcrossSegments();
    void parse_findsBlankLineSplitAcrossSegments();
    void parse_bodyLength_data();
    void parse_bodyLength();
    void parse_headers();
    void parse_path_data();
    void parse_path();
    void parse_upperCasesMethod();
    void parse_neverCompletes_data();
    void parse_neverCompletes();
    void parse_sizeLimit_data();
    void parse_sizeLimit();
    void parse_staysFinalOnceDecided();
    void bearerToken_data();
    void bearerToken();
    void json_reasonByStatus_data();
    void json_reasonByStatus();
    void encoded_isByteExact();
    void encoded_sortsHeaderNamesAsBytes();
    void encoded_countsBodyBytesNotCharacters();
    void serverError_isFixedAnswer();
};

void HTTPFramingTest::parse_waitsForBodyAcrossSegments()
{
    HTTPRequestParser parser;
    QCOMPARE(parser.append("POST /api/command HTTP/1.1\r\nContent-Le").outcome, Outcome::incomplete);
    QCOMPARE(parser.append("ngth: 10\r\n\r\n").outcome, Outcome::incomplete);
    QCOMPARE(parser.append("{\"a\":").outcome, Outcome::incomplete);
    const HTTPRequestParser::Result result = parser.append("12345");
    QCOMPARE(result.outcome, Outcome::complete);
    QCOMPARE(result.request.body, "{\"a\":12345"_ba);
    QCOMPARE(result.request.path, u"/api/command"_s);
}

void HTTPFramingTest::parse_findsBlankLineSplitAcrossSegments()
{
    // Regression guard for the incremental search: the four bytes may arrive one by one.
    HTTPRequestParser parser;
    const QByteArray request = "GET /api/status HTTP/1.1\r\nHost: x\r\n\r\n";
    for (qsizetype index = 0; index + 1 < request.size(); ++index)
        QCOMPARE(parser.append(request.sliced(index, 1)).outcome, Outcome::incomplete);
    QCOMPARE(parser.append(request.last(1)).outcome, Outcome::complete);
}

void HTTPFramingTest::parse_bodyLength_data()
{
    QTest::addColumn<QByteArray>("lengthHeader");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("absent: extra bytes are not the body") << QByteArray() << QByteArray();
    QTest::newRow("exact") << "Content-Length: 4\r\n"_ba
                           << "abcd"_ba;
    QTest::newRow("shorter than what follows") << "Content-Length: 2\r\n"_ba
                                               << "ab"_ba;
    QTest::newRow("plus sign") << "Content-Length: +3\r\n"_ba
                               << "abc"_ba;
    QTest::newRow("leading zeros") << "Content-Length: 003\r\n"_ba
                                   << "abc"_ba;
    QTest::newRow("minus zero") << "Content-Length: -0\r\n"_ba << QByteArray();
    QTest::newRow("not a number") << "Content-Length: four\r\n"_ba << QByteArray();
    QTest::newRow("trailing letters") << "Content-Length: 4x\r\n"_ba << QByteArray();
    QTest::newRow("fraction") << "Content-Length: 2.0\r\n"_ba << QByteArray();
    QTest::newRow("empty value") << "Content-Length:\r\n"_ba << QByteArray();
    QTest::newRow("name in capitals, spaces around") << "CONTENT-LENGTH :  4  \r\n"_ba
                                                     << "abcd"_ba;
}

void HTTPFramingTest::parse_bodyLength()
{
    QFETCH(QByteArray, lengthHeader);
    QFETCH(QByteArray, body);
    const QByteArray request = "POST /api/script HTTP/1.1\r\nHost: h\r\n" + lengthHeader + "\r\nabcdefgh";
    QCOMPARE(parseComplete(request).body, body);
}

void HTTPFramingTest::parse_headers()
{
    const HTTPRequest request = parseComplete("GET / HTTP/1.1\r\n"
                                              "Host: example.local:53731\r\n"
                                              "X-Mixed-Case: Value With Case\r\n"
                                              "no colon on this line\r\n"
                                              "  Spaced-Name \t:\t spaced value \r\n"
                                              "authorization: Bearer first\r\n"
                                              "AUTHORIZATION: Bearer second\r\n"
                                              "\r\n");
    QCOMPARE(request.headers.value(u"host"_s), u"example.local:53731"_s);
    QCOMPARE(request.headers.value(u"x-mixed-case"_s), u"Value With Case"_s);
    QCOMPARE(request.headers.value(u"spaced-name"_s), u"spaced value"_s);
    QCOMPARE(request.headers.value(u"authorization"_s), u"Bearer second"_s);
    QCOMPARE(request.headers.size(), 4);
    QCOMPARE(request.bearerToken(), std::optional<QString>(u"second"_s));
}

void HTTPFramingTest::parse_path_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("path");

    QTest::newRow("plain") << "/api/status"_ba << u"/api/status"_s;
    QTest::newRow("query") << "/api/pair?code=123456"_ba << u"/api/pair"_s;
    QTest::newRow("empty query") << "/api/pair?"_ba << u"/api/pair"_s;
    QTest::newRow("two question marks") << "/api/pair?a?b"_ba << u"/api/pair"_s;
    QTest::newRow("leading question mark") << "?a?b"_ba << u"a"_s;
    QTest::newRow("only question marks") << "??"_ba << u"??"_s;
    QTest::newRow("extra spaces around the target") << "  /api/status  "_ba << u"/api/status"_s;
}

void HTTPFramingTest::parse_path()
{
    QFETCH(QByteArray, target);
    QFETCH(QString, path);
    QCOMPARE(parseComplete("GET " + target + " HTTP/1.1\r\n\r\n").path, path);
}

void HTTPFramingTest::parse_upperCasesMethod()
{
    const HTTPRequest request = parseComplete("post /api/pair\r\n\r\n");
    QCOMPARE(request.method, u"POST"_s);
    QCOMPARE(request.path, u"/api/pair"_s);
}

void HTTPFramingTest::parse_neverCompletes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("LF-only lines") << "GET / HTTP/1.1\nHost: h\n\nGET / HTTP/1.1\n\n"_ba;
    QTest::newRow("request line of one piece") << "GET\r\n\r\n"_ba;
    QTest::newRow("empty request line") << "\r\n\r\n"_ba;
    QTest::newRow("header not UTF-8") << "GET / HTTP/1.1\r\nX: \xff\xfe\r\n\r\n"_ba;
}

void HTTPFramingTest::parse_neverCompletes()
{
    QFETCH(QByteArray, bytes);
    HTTPRequestParser parser;
    QCOMPARE(parser.append(bytes).outcome, Outcome::incomplete);
    QCOMPARE(parser.append("\n\nGET / HTTP/1.1\n\n").outcome, Outcome::incomplete);
}

void HTTPFramingTest::parse_sizeLimit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");

    QTest::newRow("300000 bytes in all") << requestWithBody(300000) << Outcome::complete;
    QTest::newRow("300001 bytes, complete") << requestWithBody(300001) << Outcome::tooLarge;
    QTest::newRow("small request followed by more than the limit")
        << "GET / HTTP/1.1\r\n\r\n" + QByteArray(300000, 'x') << Outcome::tooLarge;
    QTest::newRow("declared length that cannot fit, body not sent")
        << "POST / HTTP/1.1\r\nContent-Length: 299990\r\n\r\n"_ba << Outcome::tooLarge;
    QTest::newRow("declared length beyond 64 bits")
        << "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"_ba << Outcome::tooLarge;
    QTest::newRow("negative length") << "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nabcde"_ba
                                     << Outcome::malformed;
    QTest::newRow("negative length beyond 64 bits")
        << "POST / HTTP/1.1\r\nContent-Length: -99999999999999999999999\r\n\r\n"_ba << Outcome::malformed;
}

void HTTPFramingTest::parse_sizeLimit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(HTTPRequestParser::parse(bytes).outcome, outcome);
}

void HTTPFramingTest::parse_staysFinalOnceDecided()
{
    HTTPRequestParser parser;
    QCOMPARE(parser.append("GET /first HTTP/1.1\r\n\r\n").outcome, Outcome::complete);
    const HTTPRequestParser::Result again = parser.append("GET /second HTTP/1.1\r\n\r\n");
    QCOMPARE(again.outcome, Outcome::complete);
    QCOMPARE(again.request.path, u"/first"_s);
}

void HTTPFramingTest::bearerToken_data()
{
    QTest::addColumn<QString>("authorization"); // null: no header
    QTest::addColumn<QString>("token");         // null: none

    QTest::newRow("bearer") << u"Bearer ABC123"_s << u"ABC123"_s;
    QTest::newRow("scheme in lower case") << u"bearer ABC123"_s << u"ABC123"_s;
    QTest::newRow("scheme in capitals") << u"BEARER ABC123"_s << u"ABC123"_s;
    QTest::newRow("token keeps inner spaces") << u"Bearer AB C"_s << u"AB C"_s;
    QTest::newRow("second space belongs to the token") << u"Bearer  ABC"_s << u" ABC"_s;
    QTest::newRow("basic scheme") << u"Basic ABC123"_s << QString();
    QTest::newRow("scheme alone") << u"Bearer"_s << QString();
    QTest::newRow("tab instead of space") << u"Bearer\tABC"_s << QString();
    QTest::newRow("empty value") << u""_s << QString();
    QTest::newRow("no header") << QString() << QString();
}

void HTTPFramingTest::bearerToken()
{
    QFETCH(QString, authorization);
    QFETCH(QString, token);
    HTTPRequest request;
    if (!authorization.isNull())
        request.headers.insert(u"authorization"_s, authorization);
    const std::optional<QString> expected = token.isNull() ? std::nullopt : std::optional(token);
    QCOMPARE(request.bearerToken(), expected);
}

void HTTPFramingTest::json_reasonByStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");

    QTest::newRow("200") << 200 << u"OK"_s;
    QTest::newRow("400") << 400 << u"Bad Request"_s;
    QTest::newRow("401") << 401 << u"Unauthorized"_s;
    QTest::newRow("403") << 403 << u"Forbidden"_s;
    QTest::newRow("404") << 404 << u"Not Found"_s;
    QTest::newRow("500") << 500 << u"Error"_s;
    QTest::newRow("418") << 418 << u"Error"_s;
}

void HTTPFramingTest::json_reasonByStatus()
{
    QFETCH(int, status);
    QFETCH(QString, reason);
    const HTTPResponse response = HTTPResponse::json(status, {{u"ok"_s, true}});
    QCOMPARE(response.status, status);
    QCOMPARE(response.reason, reason);
    QCOMPARE(response.headers.size(), 1);
    QCOMPARE(response.headers.value(u"Content-Type"_s), u"application/json; charset=utf-8"_s);
}

void HTTPFramingTest::encoded_isByteExact()
{
    const QByteArray expected = "HTTP/1.1 404 Not Found\r\n"
                                "Cache-Control: no-store\r\n"
                                "Connection: close\r\n"
                                "Content-Length: 35\r\n"
                                "Content-Type: application/json; charset=utf-8\r\n"
                                "X-Content-Type-Options: nosniff\r\n"
                                "\r\n"
                                R"({"message":"Not found.","ok":false})";
    QCOMPARE(HTTPResponse::json(404, {{u"ok"_s, false}, {u"message"_s, u"Not found."_s}}).encoded(),
             expected);
}

void HTTPFramingTest::encoded_sortsHeaderNamesAsBytes()
{
    HTTPResponse response;
    response.status = 200;
    response.reason = u"OK"_s;
    response.headers = {{u"x-lower"_s, u"1"_s}, {u"Content-Length"_s, u"999"_s}, {u"connection"_s, u"x"_s}};
    const QByteArray encoded = response.encoded();
    const QByteArray expected = "HTTP/1.1 200 OK\r\n"
                                "Cache-Control: no-store\r\n"
                                "Connection: close\r\n"
                                "Content-Length: 0\r\n"
                                "X-Content-Type-Options: nosniff\r\n"
                                "connection: x\r\n"
                                "x-lower: 1\r\n"
                                "\r\n";
    QCOMPARE(encoded, expected);
}

void HTTPFramingTest::encoded_countsBodyBytesNotCharacters()
{
    const HTTPResponse response = HTTPResponse::json(200, {{u"title"_s, u"Café…"_s}});
    QCOMPARE(response.body, "{\"title\":\"Caf\xc3\xa9\xe2\x80\xa6\"}"_ba);
    QVERIFY(response.encoded().contains("\r\nContent-Length: 20\r\n"));
}

void HTTPFramingTest::serverError_isFixedAnswer()
{
    const QByteArray encoded = HTTPResponse::serverError().encoded();
    QVERIFY(encoded.startsWith("HTTP/1.1 500 Error\r\n"));
    QVERIFY(encoded.endsWith("\r\n\r\n{\"message\":\"Server error.\",\"ok\":false}"));
}

QTEST_GUILESS_MAIN(HTTPFramingTest)
#include "tst_httpframing.moc"
