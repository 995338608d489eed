#include "core/commandresult.h"
#include "core/jsonvalues.h"
#include "core/trackinfo.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

class WireRecordsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandResult_omitsAbsentVolume();
    void commandResult_decodes_data();
    void commandResult_decodes();
    void trackInfo_encodesAndDecodes();
    void trackInfo_absentArtistDiffersFromEmpty();
    void integral_refusesFractionsAndOverflow();
};

void WireRecordsTest::commandResult_omitsAbsentVolume()
{
    CommandResult play{true, u"Play sent."_s, u"playing"_s, u"ID"_s, u"left"_s, std::nullopt};
    const QJsonObject playJson = play.toJson();
    QVERIFY(!playJson.contains(u"volumePercent"_s));
    QCOMPARE(playJson.keys().size(), 5);
    QCOMPARE(playJson.value(u"ok"_s), QJsonValue(true));

    CommandResult volume = play;
    volume.volumePercent = 75;
    const QJsonValue encoded = volume.toJson().value(u"volumePercent"_s);
    QVERIFY(encoded.isDouble());
    QCOMPARE(encoded.toInt(), 75);
}

void WireRecordsTest::commandResult_decodes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<int>("volume"); // -1: absent

    const QByteArray base = R"("ok":true,"message":"m","expectedState":"stopped","deck":"left")";
    QTest::newRow("null volume is absent")
        << "{" + base + R"(,"commandID":"C","volumePercent":null})" << true << -1;
    QTest::newRow("volume 50") << "{" + base + R"(,"commandID":"C","volumePercent":50})" << true << 50;
    QTest::newRow("extra keys ignored") << "{" + base + R"(,"commandID":"C","extra":[1]})" << true << -1;
    QTest::newRow("missing commandID") << "{" + base + "}" << false << -1;
    QTest::newRow("ok as string")
        << R"({"ok":"true","message":"m","expectedState":"s","deck":"l","commandID":"C"})"_ba << false << -1;
    QTest::newRow("volume as string")
        << "{" + base + R"(,"commandID":"C","volumePercent":"50"})" << false << -1;
    QTest::newRow("fractional volume")
        << "{" + base + R"(,"commandID":"C","volumePercent":50.5})" << false << -1;
}

void WireRecordsTest::commandResult_decodes()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    QFETCH(int, volume);
    const std::optional<CommandResult> result = CommandResult::fromJson(parse(json.constData()));
    QCOMPARE(result.has_value(), decodes);
    if (result)
        QCOMPARE(result->volumePercent.value_or(-1), volume);
}

void WireRecordsTest::trackInfo_encodesAndDecodes()
{
    QCOMPARE(TrackInfo({u"Song"_s, std::nullopt}).toJson(), parse(R"({"title":"Song"})"));
    QCOMPARE(TrackInfo({u"Song"_s, u"Band"_s}).toJson(), parse(R"({"title":"Song","artist":"Band"})"));
    QCOMPARE(TrackInfo::fromJson(parse(R"({"title":"Song","artist":null})")),
             TrackInfo({u"Song"_s, std::nullopt}));
    QVERIFY(!TrackInfo::fromJson(parse(R"({"artist":"Band"})")));
    QVERIFY(!TrackInfo::fromJson(parse(R"({"title":3})")));
}

void WireRecordsTest::trackInfo_absentArtistDiffersFromEmpty()
{
    QVERIFY(TrackInfo({u"Song"_s, std::nullopt}) != TrackInfo({u"Song"_s, QString()}));
    QVERIFY(TrackInfo({u"Song"_s, u"A"_s}) == TrackInfo({u"Song"_s, u"A"_s}));
}

void WireRecordsTest::integral_refusesFractionsAndOverflow()
{
    QCOMPARE(JsonValues::integral<int>(QJsonValue(75.0)), 75);
    QVERIFY(!JsonValues::integral<int>(QJsonValue(75.5)));
    QVERIFY(!JsonValues::integral<int>(QJsonValue(2147483648.0)));
    QCOMPARE(JsonValues::integral<int>(QJsonValue(-2147483648.0)), std::numeric_limits<int>::min());
    QVERIFY(!JsonValues::integral<qint64>(QJsonValue(9.3e18)));
    QVERIFY(!JsonValues::integral<int>(QJsonValue(u"1"_s)));
}

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wirerecords.moc"
