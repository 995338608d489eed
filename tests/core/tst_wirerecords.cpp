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
    // Content lengths, volume strings and build numbers: ASCII digits with a sign, within 64 bits.
    void decimalInteger()
    {
        QCOMPARE(parseDecimalInteger(u"+0075"), std::optional<qint64>(75));
        QCOMPARE(parseDecimalInteger(u"-9223372036854775808"),
                 std::optional(std::numeric_limits<qint64>::min()));
        for (const QString &text :
             {u"9223372036854775808"_s, QString(), u"-"_s, u"+-1"_s, u" 75"_s, u"75.0"_s, u"\u0667\u0665"_s})
            QVERIFY2(!parseDecimalInteger(text), qPrintable(text));
    }

    void records()
    {
        // A command result or track as JSON, and what decodes from it (nothing when refused). Written
        // back, each decodes the same, and an absent volume is left out rather than null.
        const QByteArray result = R"({"ok":true,"message":"m","expectedState":"stopped","deck":"left")";
        const QByteArray withID = result + R"(,"commandID":"C")";
        const std::pair<QByteArray, QString> cases[] = {
            {withID + R"(,"volumePercent":50})", u"true m stopped C left 50"_s},
            {withID + R"(,"volumePercent":null})", u"true m stopped C left"_s},
            {withID + R"(,"extra":[1]})", u"true m stopped C left"_s},
            {result + "}", {}},
            {R"({"ok":"true","message":"m","expectedState":"s","deck":"l","commandID":"C"})", {}},
            {R"({"ok":true,"message":"m","expectedState":"s","deck":0,"commandID":"C"})", {}},
            {withID + R"(,"volumePercent":"50"})", {}},
            {withID + R"(,"volumePercent":50.5})", {}},
            {withID + R"(,"volumePercent":2147483648})", {}},
            {R"({"title":"Song","artist":"Band"})", u"Song by Band"_s},
            {R"({"title":"Song","artist":null})", u"Song"_s},
            {R"({"title":"Song","artist":""})", u"Song by "_s},
            {R"({"artist":"Band"})", {}},
            {R"({"title":3})", {}},
            {R"({"title":"Song","artist":3})", {}}};
        for (const auto &[json, decoded] : cases) {
            const QJsonObject object = QJsonDocument::fromJson(json).object();
            QString seen;
            if (const std::optional<CommandResult> result = CommandResult::fromJson(object)) {
                seen = QStringList{result->ok ? u"true"_s : u"false"_s, result->message,
                                   result->expectedState, result->commandID, result->deck}
                           .join(u' ');
                if (result->volumePercent)
                    seen += u' ' + QString::number(*result->volumePercent);
                QCOMPARE(CommandResult::fromJson(result->toJson())->volumePercent, result->volumePercent);
                QCOMPARE(result->toJson().contains(u"volumePercent"_s), result->volumePercent.has_value());
            } else if (const std::optional<TrackInfo> track = TrackInfo::fromJson(object)) {
                seen = track->artist ? track->title + u" by "_s + *track->artist : track->title;
                QCOMPARE(TrackInfo::fromJson(track->toJson()), track);
            }
            QCOMPARE(seen, decoded);
        }
    }
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
