#include "core/commandresult.h"
#include "core/decimalinteger.h"
#include "core/trackinfo.h"

#include <QJsonDocument>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

// What arrives as text or JSON, and what the connector makes of it.
class WireRecordsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decimalInteger()
    {
        using Limits = std::numeric_limits<qint64>;
        for (const auto &[text, value] : {std::pair{u"+75"_s, qint64(75)},
                                          {u"-5"_s, qint64(-5)},
                                          {u"0075"_s, qint64(75)},
                                          {u"9223372036854775807"_s, Limits::max()},
                                          {u"-9223372036854775808"_s, Limits::min()}})
            QCOMPARE(parseDecimalInteger(text), std::optional(value));
        for (const QString &text : {u"9223372036854775808"_s, u"-9223372036854775809"_s, QString(400, u'9'),
                                    QString(), u"-"_s, u"+-1"_s, u" 75"_s, u"75.0"_s, u"\u0667\u0665"_s})
            QVERIFY2(!parseDecimalInteger(text), qPrintable(text));
    }

    void records_data()
    {
        // A command result or track as JSON, and what decodes from it ("refused" when nothing does).
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("decoded");
        const QByteArray result = R"({"ok":true,"message":"m","expectedState":"stopped","deck":"left")";
        const QByteArray withID = result + R"(,"commandID":"C")";
        const std::tuple<const char *, QByteArray, QString> rows[] = {
            {"result with volume", withID + R"(,"volumePercent":50})", u"true m stopped C left 50"_s},
            {"null volume is absent", withID + R"(,"volumePercent":null})", u"true m stopped C left"_s},
            {"extra keys ignored", withID + R"(,"extra":[1]})", u"true m stopped C left"_s},
            {"missing commandID", result + "}", {}},
            {"ok as string",
             R"({"ok":"true","message":"m","expectedState":"s","deck":"l","commandID":"C"})",
             {}},
            {"deck as number",
             R"({"ok":true,"message":"m","expectedState":"s","deck":0,"commandID":"C"})",
             {}},
            {"volume as string", withID + R"(,"volumePercent":"50"})", {}},
            {"fractional volume", withID + R"(,"volumePercent":50.5})", {}},
            {"volume beyond int", withID + R"(,"volumePercent":2147483648})", {}},
            {"track with artist", R"({"title":"Song","artist":"Band"})", u"Song by Band"_s},
            {"track with null artist", R"({"title":"Song","artist":null})", u"Song"_s},
            {"track with empty artist", R"({"title":"Song","artist":""})", u"Song by "_s},
            {"track without title", R"({"artist":"Band"})", {}},
            {"title a number", R"({"title":3})", {}},
            {"artist a number", R"({"title":"Song","artist":3})", {}}};
        for (const auto &[name, json, decoded] : rows)
            QTest::newRow(name) << json << (decoded.isNull() ? u"refused"_s : decoded);
    }

    void records()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, decoded);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QString seen = u"refused"_s;
        if (object.contains(u"ok"_s)) {
            if (const std::optional<CommandResult> result = CommandResult::fromJson(object)) {
                seen = QStringList{result->ok ? u"true"_s : u"false"_s, result->message,
                                   result->expectedState, result->commandID, result->deck}
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
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
