#include "server/httprequestparser.h"
#include "server/httpresponse.h"

#include "serverharness.h"

using namespace Qt::StringLiterals;
using Outcome = HTTPRequestParser::Outcome;

Q_DECLARE_METATYPE(HTTPRequestParser::Outcome)

namespace {

// A POST of exactly this many bytes, head included, for sizes around the request limit.
QByteArray requestOfSize(qsizetype size)
{
    return "POST /api/script HTTP/1.1\r\nContent-Length: " + QByteArray::number(size - 53) + "\r\n\r\n"
           + QByteArray(size - 53, 'x');
}

} // namespace

class HTTPFramingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void bearerToken_data();
    void bearerToken();
    void encoded_isByteExact();
};

void HTTPFramingTest::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("request"); // method and path
    QTest::addColumn<QByteArray>("body");

    const auto post = [](const char *name, const QByteArray &length, const QByteArray &body) {
        QTest::newRow(name) << "POST /a HTTP/1.1\r\n" + length + "\r\nabc" << Outcome::complete
                            << u"POST /a"_s << body;
    };
    const auto undone = [](const char *name, const QByteArray &bytes, Outcome outcome) {
        QTest::newRow(name) << bytes << outcome << u" "_s << QByteArray();
    };
    post("no Content-Length: what follows is no body", {}, {});
    post("Content-Length shorter than what follows", "Content-Length: 2\r\n", "ab");
    post("Content-Length not a number", "Content-Length: four\r\n", {});
    QTest::newRow("query string, lower-case method")
        << "get /api/pair?code=1&x=2 HTTP/1.1\r\n\r\n"_ba << Outcome::complete << u"GET /api/pair"_s
        << QByteArray();
    QTest::newRow("300000 bytes in all") << requestOfSize(300000) << Outcome::complete
                                         << u"POST /api/script"_s << QByteArray(300000 - 53, 'x');
    undone("300001 bytes in all", requestOfSize(300001), Outcome::tooLarge);
    undone("length beyond 64 bits", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
           Outcome::tooLarge);
    undone("negative Content-Length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nabcde",
           Outcome::malformed);
    undone("LF-only lines", "GET / HTTP/1.1\nHost: h\n\n", Outcome::incomplete);
}

void HTTPFramingTest::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    QFETCH(QString, request);
    QFETCH(QByteArray, body);
    const HTTPRequestParser::Result result = HTTPRequestParser::parse(bytes);
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.request.method + u' ' + result.request.path, request);
    QCOMPARE(result.request.body, body);
}

void HTTPFramingTest::bearerToken_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QString>("token"); // null: none

    QTest::newRow("bearer, token keeps its case") << "Authorization: Bearer AbC1\r\n"_ba << u"AbC1"_s;
    QTest::newRow("name in capitals, scheme in lower case") << "AUTHORIZATION: bearer AbC\r\n"_ba << u"AbC"_s;
    QTest::newRow("repeated header: the later counts")
        << "Authorization: Bearer first\r\nauthorization: Bearer second\r\n"_ba << u"second"_s;
    QTest::newRow("Basic scheme") << "Authorization: Basic AbC\r\n"_ba << QString();
    QTest::newRow("scheme alone") << "Authorization: Bearer   \r\n"_ba << QString();
}

void HTTPFramingTest::bearerToken()
{
    QFETCH(QByteArray, headers);
    QFETCH(QString, token);
    const HTTPRequest request = HTTPRequestParser::parse("GET / HTTP/1.1\r\n" + headers + "\r\n").request;
    QCOMPARE(request.bearerToken(), token.isNull() ? std::nullopt : std::optional(token));
}

void HTTPFramingTest::encoded_isByteExact()
{
    HTTPResponse response = HTTPResponse::json(404, {{u"ok"_s, false}, {u"message"_s, u"Gone…"_s}});
    // The fixed headers replace one of the same name; names sort as bytes, lower case last.
    response.headers.insert(u"Content-Length"_s, u"999"_s);
    response.headers.insert(u"x-trace"_s, u"1"_s);
    QCOMPARE(response.encoded(), "HTTP/1.1 404 Not Found\r\n"
                                 "Cache-Control: no-store\r\n"
                                 "Connection: close\r\n"
                                 "Content-Length: 32\r\n"
                                 "Content-Type: application/json; charset=utf-8\r\n"
                                 "X-Content-Type-Options: nosniff\r\n"
                                 "x-trace: 1\r\n"
                                 "\r\n"
                                 "{\"message\":\"Gone\xe2\x80\xa6\",\"ok\":false}"_ba);
}

QTEST_GUILESS_MAIN(HTTPFramingTest)
#include "tst_httpframing.moc"
