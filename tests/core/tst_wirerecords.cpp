#include "core/commandresult.h"
#include "core/decimalinteger.h"
#include "core/trackinfo.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

// What arrives as text or JSON, and what the connector makes of it.
class WireRecordsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decimalInteger_data();
    void decimalInteger();
    void records_data();
    void records();
};

void WireRecordsTest::decimalInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value"); // empty: refused
    const QString largest = u"9223372036854775807"_s, smallest = u"-9223372036854775808"_s;
    const std::pair<QString, QString> rows[] = {{u"+75"_s, u"75"_s},
                                                {u"-5"_s, u"-5"_s},
                                                {u"0075"_s, u"75"_s},
                                                {largest, largest},
                                                {smallest, smallest},
                                                {u"9223372036854775808"_s, {}},
                                                {u"-9223372036854775809"_s, {}},
                                                {QString(400, u'9'), {}},
                                                {{}, {}},
                                                {u"-"_s, {}},
                                                {u"+-1"_s, {}},
                                                {u" 75"_s, {}},
                                                {u"75.0"_s, {}},
                                                {u"\u0667\u0665"_s, {}}};
    for (const auto &[text, value] : rows)
        QTest::newRow(qPrintable(u'"' + text.left(24) + u'"')) << text << value;
}

void WireRecordsTest::decimalInteger()
{
    QFETCH(QString, text);
    QFETCH(QString, value);
    const std::optional<qint64> parsed = parseDecimalInteger(text);
    QCOMPARE(parsed ? QString::number(*parsed) : QString(), value);
}

void WireRecordsTest::records_data()
{
    // A command result or track as JSON, and what decodes from it ("refused" when nothing does).
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("decoded");
    const QByteArray result = R"({"ok":true,"message":"m","expectedState":"stopped","deck":"left")";
    const auto row = [](const char *name, const QByteArray &json, const QString &decoded) {
        QTest::newRow(name) << json << decoded;
    };
    row("result with volume", result + R"(,"commandID":"C","volumePercent":50})",
        u"true m stopped C left 50"_s);
    row("null volume is absent", result + R"(,"commandID":"C","volumePercent":null})",
        u"true m stopped C left"_s);
    row("extra keys ignored", result + R"(,"commandID":"C","extra":[1]})", u"true m stopped C left"_s);
    row("missing commandID", result + "}", u"refused"_s);
    row("ok as string", R"({"ok":"true","message":"m","expectedState":"s","deck":"l","commandID":"C"})",
        u"refused"_s);
    row("deck as number", R"({"ok":true,"message":"m","expectedState":"s","deck":0,"commandID":"C"})",
        u"refused"_s);
    row("volume as string", result + R"(,"commandID":"C","volumePercent":"50"})", u"refused"_s);
    row("fractional volume", result + R"(,"commandID":"C","volumePercent":50.5})", u"refused"_s);
    row("volume beyond int", result + R"(,"commandID":"C","volumePercent":2147483648})", u"refused"_s);
    row("track with artist", R"({"title":"Song","artist":"Band"})", u"Song by Band"_s);
    row("track with null artist", R"({"title":"Song","artist":null})", u"Song"_s);
    row("track with empty artist", R"({"title":"Song","artist":""})", u"Song by "_s);
    row("track without title", R"({"artist":"Band"})", u"refused"_s);
    row("title a number", R"({"title":3})", u"refused"_s);
    row("artist a number", R"({"title":"Song","artist":3})", u"refused"_s);
}

void WireRecordsTest::records()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, decoded);
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    QString seen = u"refused"_s;
    if (object.contains(u"ok"_s)) {
        if (const std::optional<CommandResult> result = CommandResult::fromJson(object)) {
            seen = QStringList{result->ok ? u"true"_s : u"false"_s, result->message, result->expectedState,
                               result->commandID, result->deck}
                       .join(u' ');
            if (result->volumePercent)
                seen += u' ' + QString::number(*result->volumePercent);
            // Written back, an absent volume is left out rather than null.
            QCOMPARE(CommandResult::fromJson(result->toJson())->volumePercent, result->volumePercent);
            QCOMPARE(result->toJson().contains(u"volumePercent"_s), result->volumePercent.has_value());
        }
    } else if (const std::optional<TrackInfo> track = TrackInfo::fromJson(object)) {
        seen = track->artist ? track->title + u" by "_s + *track->artist : track->title;
        QCOMPARE(TrackInfo::fromJson(track->toJson()), track);
    }
    QCOMPARE(seen, decoded);
}

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
