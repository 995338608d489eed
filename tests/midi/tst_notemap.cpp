#include "midi/notemap.h"

#include <QTest>

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(DeckSide)

class NoteMapTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void note_matchesShippedMappings_data();
    void note_matchesShippedMappings();
    void volumeValue_followsPlatformTable_data();
    void volumeValue_followsPlatformTable();
    void volumeController_isChosenByDeck();
};

void NoteMapTest::note_matchesShippedMappings_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<RemoteCommand>("command");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");

    const auto serato = DJPlatform::serato;
    const auto virtualDJ = DJPlatform::virtualDJ;
    QTest::newRow("serato play") << serato << RemoteCommand::play << 80 << 84;
    QTest::newRow("serato pause is the play note") << serato << RemoteCommand::pause << 80 << 84;
    QTest::newRow("serato advance") << serato << RemoteCommand::advance << 82 << 86;
    QTest::newRow("serato play-next") << serato << RemoteCommand::playNext << 82 << 86;
    QTest::newRow("serato stop") << serato << RemoteCommand::stop << 83 << 87;
    QTest::newRow("serato load") << serato << RemoteCommand::load << 88 << 89;
    QTest::newRow("virtualdj play") << virtualDJ << RemoteCommand::play << 80 << 84;
    QTest::newRow("virtualdj pause has its own note") << virtualDJ << RemoteCommand::pause << 81 << 85;
    QTest::newRow("virtualdj advance") << virtualDJ << RemoteCommand::advance << 82 << 86;
    QTest::newRow("virtualdj play-next") << virtualDJ << RemoteCommand::playNext << 82 << 86;
    QTest::newRow("virtualdj stop") << virtualDJ << RemoteCommand::stop << 83 << 87;
    QTest::newRow("virtualdj load") << virtualDJ << RemoteCommand::load << 88 << 89;
}

void NoteMapTest::note_matchesShippedMappings()
{
    QFETCH(DJPlatform, platform);
    QFETCH(RemoteCommand, command);
    QFETCH(int, left);
    QFETCH(int, right);

    QCOMPARE(int(NoteMap::note(platform, command, DeckSide::left)), left);
    QCOMPARE(int(NoteMap::note(platform, command, DeckSide::right)), right);
}

void NoteMapTest::volumeValue_followsPlatformTable_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("value"); // -1: not a volume the remote offers

    QTest::newRow("serato 25 sends 0, not 16") << DJPlatform::serato << 25 << 0;
    QTest::newRow("serato 50") << DJPlatform::serato << 50 << 32;
    QTest::newRow("serato 75") << DJPlatform::serato << 75 << 51;
    QTest::newRow("serato 100") << DJPlatform::serato << 100 << 64;
    QTest::newRow("virtualdj 25") << DJPlatform::virtualDJ << 25 << 32;
    QTest::newRow("virtualdj 50 rounds half up to 64") << DJPlatform::virtualDJ << 50 << 64;
    QTest::newRow("virtualdj 75") << DJPlatform::virtualDJ << 75 << 95;
    QTest::newRow("virtualdj 100") << DJPlatform::virtualDJ << 100 << 127;
    QTest::newRow("30 percent") << DJPlatform::virtualDJ << 30 << -1;
    QTest::newRow("0 percent") << DJPlatform::serato << 0 << -1;
    QTest::newRow("negative") << DJPlatform::serato << -25 << -1;
    QTest::newRow("above 100") << DJPlatform::virtualDJ << 125 << -1;
}

void NoteMapTest::volumeValue_followsPlatformTable()
{
    QFETCH(DJPlatform, platform);
    QFETCH(int, percent);
    QFETCH(int, value);

    const std::optional<std::uint8_t> actual = NoteMap::volumeValue(platform, percent);
    QCOMPARE(actual.has_value(), value >= 0);
    if (actual)
        QCOMPARE(int(*actual), value);
}

void NoteMapTest::volumeController_isChosenByDeck()
{
    QCOMPARE(int(NoteMap::volumeController(DeckSide::left)), 20);
    QCOMPARE(int(NoteMap::volumeController(DeckSide::right)), 21);
    QCOMPARE(int(NoteMap::kChannel), 15);
}

QTEST_GUILESS_MAIN(NoteMapTest)
#include "tst_notemap.moc"
