#include "core/connectorconstants.h"
#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"

#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

class EnumerationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rawValues_roundTripForEveryCase();
    void rawValues_matchExactlyAndCaseSensitively_data();
    void rawValues_matchExactlyAndCaseSensitively();
    void platform_derivesEveryConstant();
    void commands_keepTheirCaseOrderNamesAndSymbols();
    void json_encodesRawValueAndRefusesOthers();
    void constants_describeTheProduct();
};

void EnumerationsTest::rawValues_roundTripForEveryCase()
{
    for (DJPlatform platform : kAllDJPlatforms)
        QCOMPARE(djPlatformFromRawValue(rawValue(platform)), platform);
    for (DeckSide deck : kAllDeckSides)
        QCOMPARE(deckSideFromRawValue(rawValue(deck)), deck);
    for (RemoteCommand command : kAllRemoteCommands)
        QCOMPARE(remoteCommandFromRawValue(rawValue(command)), command);
}

void EnumerationsTest::rawValues_matchExactlyAndCaseSensitively_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<bool>("isPlatform");
    QTest::addColumn<bool>("isDeck");
    QTest::addColumn<bool>("isCommand");

    QTest::newRow("virtualDJ") << u"virtualDJ"_s << true << false << false;
    QTest::newRow("lower-case virtualdj") << u"virtualdj"_s << false << false << false;
    QTest::newRow("capitalised Serato") << u"Serato"_s << false << false << false;
    QTest::newRow("capitalised Left") << u"Left"_s << false << false << false;
    QTest::newRow("right") << u"right"_s << false << true << false;
    QTest::newRow("play-next") << u"play-next"_s << false << false << true;
    QTest::newRow("case name playNext") << u"playNext"_s << false << false << false;
    QTest::newRow("underscore play_next") << u"play_next"_s << false << false << false;
    QTest::newRow("trailing space") << u"play "_s << false << false << false;
    QTest::newRow("empty") << QString() << false << false << false;
}

void EnumerationsTest::rawValues_matchExactlyAndCaseSensitively()
{
    QFETCH(QString, raw);
    QFETCH(bool, isPlatform);
    QFETCH(bool, isDeck);
    QFETCH(bool, isCommand);
    QCOMPARE(djPlatformFromRawValue(raw).has_value(), isPlatform);
    QCOMPARE(deckSideFromRawValue(raw).has_value(), isDeck);
    QCOMPARE(remoteCommandFromRawValue(raw).has_value(), isCommand);
}

void EnumerationsTest::platform_derivesEveryConstant()
{
    QCOMPARE(port(DJPlatform::serato), 53731);
    QCOMPARE(port(DJPlatform::virtualDJ), 53732);
    QCOMPARE(displayName(DJPlatform::serato), u"Serato DJ Pro"_s);
    QCOMPARE(shortName(DJPlatform::virtualDJ), u"VIRTUALDJ"_s);
    QCOMPARE(bonjourType(DJPlatform::serato), u"_tarvikdjserato._tcp"_s);
    QCOMPARE(bonjourType(DJPlatform::virtualDJ), u"_tarvikdjvirtual._tcp"_s);
    QCOMPARE(serviceName(DJPlatform::virtualDJ), u"Tarvik DJ Connector - VirtualDJ"_s);
    QCOMPARE(midiDeviceName(DJPlatform::serato), u"Tarvik DJ Connector Serato"_s);
    QCOMPARE(defaultsPrefix(DJPlatform::virtualDJ), u"TarvikDJConnector.virtualDJ"_s);
    QCOMPARE(displayName(DeckSide::right), u"Right"_s);
}

void EnumerationsTest::commands_keepTheirCaseOrderNamesAndSymbols()
{
    QStringList raws;
    for (RemoteCommand command : kAllRemoteCommands)
        raws << rawValue(command);
    QCOMPARE(raws, (QStringList{u"play"_s, u"pause"_s, u"advance"_s, u"play-next"_s, u"stop"_s, u"load"_s}));
    QCOMPARE(displayName(RemoteCommand::playNext), u"Play Next"_s);
    QCOMPARE(displayName(RemoteCommand::load), u"Load Track"_s);
    QCOMPARE(systemImage(RemoteCommand::playNext), systemImage(RemoteCommand::advance));
    QCOMPARE(systemImage(RemoteCommand::load), u"arrow.down.to.line.compact"_s);
}

void EnumerationsTest::json_encodesRawValueAndRefusesOthers()
{
    QCOMPARE(toJson(RemoteCommand::playNext), QJsonValue(u"play-next"_s));
    QCOMPARE(remoteCommandFromJson(QJsonValue(u"play-next"_s)), RemoteCommand::playNext);
    QVERIFY(!remoteCommandFromJson(QJsonValue(u"playNext"_s)));
    QVERIFY(!deckSideFromJson(QJsonValue(0)));
    QVERIFY(!djPlatformFromJson(QJsonValue(QJsonValue::Null)));
    QCOMPARE(djPlatformFromJson(toJson(DJPlatform::virtualDJ)), DJPlatform::virtualDJ);
}

void EnumerationsTest::constants_describeTheProduct()
{
    QCOMPARE(ConnectorConstants::version(), u"1.0.6"_s);
    QCOMPARE(ConnectorConstants::build(), u"8"_s);
    const QUrl manifest = ConnectorConstants::updateManifestURL();
    QCOMPARE(manifest.scheme(), u"https"_s);
    QCOMPARE(manifest.path(), u"/updates/dj-connector-macos.json"_s);
    QCOMPARE(ConnectorConstants::supportPageURL().path(), u"/contact-support.php"_s);
}

QTEST_GUILESS_MAIN(EnumerationsTest)
#include "tst_enumerations.moc"
