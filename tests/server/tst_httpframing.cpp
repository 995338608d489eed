#include "server/httprequestparser.h"
#include "server/httpresponse.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = HTTPRequestParser::Outcome;

Q_DECLARE_METATYPE(HTTPRequestParser::Outcome)

// Where a request ends and what it says; how an answer is written.
class HTTPFramingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("request"); // method, path and body
        // A POST of exactly this many bytes, head included, around the request limit.
        const auto ofSize = [](qsizetype size) {
            return "POST /s HTTP/1.1\r\nContent-Length: " + QByteArray::number(size - 44) + "\r\n\r\n"
                   + QByteArray(size - 44, 'x');
        };
        const QByteArray post = "POST /a HTTP/1.1\r\n";
        const auto row = [](const char *name, const QByteArray &bytes, Outcome outcome,
                            const QString &request) { QTest::newRow(name) << bytes << outcome << request; };
        row("no Content-Length: what follows is no body", post + "\r\nabc", Outcome::complete, u"POST /a "_s);
        row("Content-Length shorter than what follows", post + "Content-Length: 2\r\n\r\nabc",
            Outcome::complete, u"POST /a ab"_s);
        row("Content-Length not a number", post + "Content-Length: four\r\n\r\nabc", Outcome::complete,
            u"POST /a "_s);
        row("query string, lower-case method", "get /api/pair?code=1&x=2 HTTP/1.1\r\n\r\n", Outcome::complete,
            u"GET /api/pair "_s);
        row("300000 bytes in all", ofSize(300000), Outcome::complete,
            u"POST /s "_s + QString(300000 - 44, u'x'));
        row("300001 bytes in all", ofSize(300001), Outcome::tooLarge, u"  "_s);
        row("length beyond 64 bits", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
            Outcome::tooLarge, u"  "_s);
        row("negative Content-Length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\nabcde",
            Outcome::malformed, u"  "_s);
        row("LF-only lines", "GET / HTTP/1.1\nHost: h\n\n", Outcome::incomplete, u"  "_s);
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Outcome, outcome);
        QFETCH(QString, request);
        const HTTPRequestParser::Result result = HTTPRequestParser::parse(bytes);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.request.method + u' ' + result.request.path + u' '
                     + QString::fromLatin1(result.request.body),
                 request);
    }

    void encoded_isByteExact()
    {
        HTTPResponse response = HTTPResponse::json(404, {{u"ok"_s, false}, {u"message"_s, u"Gone…"_s}});
        // The fixed headers replace one of the same name; names sort as bytes, lower case last.
        response.headers.insert(u"Content-Length"_s, u"999"_s);
        response.headers.insert(u"x-trace"_s, u"1"_s);
        QCOMPARE(response.encoded(),
                 "HTTP/1.1 404 Not Found\r\nCache-Control: no-store\r\nConnection: close\r\n"
                 "Content-Length: 32\r\nContent-Type: application/json; charset=utf-8\r\n"
                 "X-Content-Type-Options: nosniff\r\nx-trace: 1\r\n\r\n"
                 "{\"message\":\"Gone\xe2\x80\xa6\",\"ok\":false}"_ba);
    }
};

QTEST_GUILESS_MAIN(HTTPFramingTest)
#include "tst_httpframing.moc"
