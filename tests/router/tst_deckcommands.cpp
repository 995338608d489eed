#include "router/deckcommands.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Send = DeckCommands::Outcome::Send;

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(DeckSide)
Q_DECLARE_METATYPE(Send)

class DeckCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcome_followsCommandTable_data();
    void outcome_followsCommandTable();
    void outcome_namesPlatformAndDeck_data();
    void outcome_namesPlatformAndDeck();
    void outcome_keepsVolume();
    void advanceSteps_perPlatformAndExpectation();
    void volumeMessage_perPlatform();
};

void DeckCommandsTest::outcome_followsCommandTable_data()
{
    QTest::addColumn<RemoteCommand>("command");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("state");
    QTest::addColumn<Send>("send");
    QTest::addColumn<bool>("nextPlaying");
    QTest::addColumn<QString>("nextState");
    QTest::addColumn<QString>("message");

    const QString playing = u"playing"_s;
    const QString paused = u"paused"_s;
    const QString stopped = u"stopped"_s;
    const QString advanced = u"Advanced and started the next prepared song on SERATO left deck."_s;
    const QString loaded =
        u"Loaded the highlighted track onto the SERATO left deck without starting playback."_s;
    const auto play = RemoteCommand::play;
    const auto pause = RemoteCommand::pause;

    QTest::newRow("play from stopped")
        << play << false << stopped << Send::pulse << true << playing << u"Play sent to SERATO left deck."_s;
    QTest::newRow("play from paused")
        << play << false << paused << Send::pulse << true << playing << u"Play sent to SERATO left deck."_s;
    QTest::newRow("play while playing") << play << true << playing << Send::nothing << true << playing
                                        << u"Left deck was already marked as playing."_s;
    QTest::newRow("pause while playing")
        << pause << true << playing << Send::pulse << false << paused << u"Pause sent to SERATO left deck."_s;
    QTest::newRow("pause from stopped keeps stopped")
        << pause << false << stopped << Send::nothing << false << stopped
        << u"Left deck was already marked as paused."_s;
    QTest::newRow("pause from paused") << pause << false << paused << Send::nothing << false << paused
                                       << u"Left deck was already marked as paused."_s;
    for (const RemoteCommand command : {RemoteCommand::advance, RemoteCommand::playNext}) {
        const QByteArray name = rawValue(command).toLatin1();
        QTest::newRow(name + " from stopped")
            << command << false << stopped << Send::advance << true << playing << advanced;
        QTest::newRow(name + " from paused")
            << command << false << paused << Send::advance << true << playing << advanced;
        QTest::newRow(name + " while playing")
            << command << true << playing << Send::advance << true << playing << advanced;
    }
    for (const auto &[state, wasPlaying] : {std::pair{stopped, false}, {paused, false}, {playing, true}}) {
        const QByteArray from = " from " + state.toLatin1();
        QTest::newRow("stop" + from) << RemoteCommand::stop << wasPlaying << state << Send::pulse << false
                                     << stopped << u"Stop/Cue sent to SERATO left deck."_s;
        QTest::newRow("load" + from) << RemoteCommand::load << wasPlaying << state << Send::pulse << false
                                     << stopped << loaded;
    }
}

void DeckCommandsTest::outcome_followsCommandTable()
{
    QFETCH(RemoteCommand, command);
    QFETCH(bool, playing);
    QFETCH(QString, state);
    QFETCH(Send, send);
    QFETCH(bool, nextPlaying);
    QFETCH(QString, nextState);
    QFETCH(QString, message);

    const DeckExpectation current{playing, state, 100};
    const DeckCommands::Outcome outcome =
        DeckCommands::outcome(DJPlatform::serato, command, DeckSide::left, current);
    QCOMPARE(outcome.send, send);
    QCOMPARE(outcome.next.playing, nextPlaying);
    QCOMPARE(outcome.next.state, nextState);
    QCOMPARE(outcome.message, message);
}

void DeckCommandsTest::outcome_namesPlatformAndDeck_data()
{
    QTest::addColumn<RemoteCommand>("command");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("message");

    QTest::newRow("play") << RemoteCommand::play << false << u"Play sent to VIRTUALDJ right deck."_s;
    QTest::newRow("already playing") << RemoteCommand::play << true
                                     << u"Right deck was already marked as playing."_s;
    QTest::newRow("pause") << RemoteCommand::pause << true << u"Pause sent to VIRTUALDJ right deck."_s;
    QTest::newRow("already paused") << RemoteCommand::pause << false
                                    << u"Right deck was already marked as paused."_s;
    QTest::newRow("play-next") << RemoteCommand::playNext << false
                               << u"Advanced and started the next prepared song on VIRTUALDJ right deck."_s;
    QTest::newRow("stop") << RemoteCommand::stop << true << u"Stop/Cue sent to VIRTUALDJ right deck."_s;
    QTest::newRow("load")
        << RemoteCommand::load << true
        << u"Loaded the highlighted track onto the VIRTUALDJ right deck without starting playback."_s;
}

void DeckCommandsTest::outcome_namesPlatformAndDeck()
{
    QFETCH(RemoteCommand, command);
    QFETCH(bool, playing);
    QFETCH(QString, message);

    const DeckExpectation current{playing, playing ? u"playing"_s : u"stopped"_s, 100};
    QCOMPARE(DeckCommands::outcome(DJPlatform::virtualDJ, command, DeckSide::right, current).message,
             message);
}

void DeckCommandsTest::outcome_keepsVolume()
{
    const DeckExpectation current{true, u"playing"_s, 25};
    for (const RemoteCommand command : kAllRemoteCommands)
        QCOMPARE(DeckCommands::outcome(DJPlatform::serato, command, DeckSide::left, current).next.volume, 25);
}

void DeckCommandsTest::advanceSteps_perPlatformAndExpectation()
{
    using Step = DeckCommands::AdvanceStep;
    const auto describe = [](const std::vector<Step> &steps) {
        QStringList parts;
        for (const Step &step : steps)
            parts << u"+%1 %2"_s.arg(step.delay.count()).arg(rawValue(step.command));
        return parts.join(u", "_s);
    };

    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::serato, true, true)),
             u"+0 stop, +120 advance, +250 play"_s);
    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::serato, true, false)),
             u"+0 stop, +120 advance"_s);
    // A deck that was not playing starts the next song whatever playAfter says.
    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::serato, false, true)),
             u"+0 advance, +250 play"_s);
    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::serato, false, false)),
             u"+0 advance, +250 play"_s);
    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::virtualDJ, true, true)), u"+0 advance"_s);
    QCOMPARE(describe(DeckCommands::advanceSteps(DJPlatform::virtualDJ, false, false)), u"+0 advance"_s);
}

void DeckCommandsTest::volumeMessage_perPlatform()
{
    QCOMPARE(DeckCommands::volumeMessage(DJPlatform::serato, 25, DeckSide::right),
             u"Set Serato music level to 25 percent."_s);
    QCOMPARE(DeckCommands::volumeMessage(DJPlatform::virtualDJ, 50, DeckSide::left),
             u"Set VirtualDJ left deck volume to 50 percent."_s);
    QCOMPARE(DeckCommands::volumeMessage(DJPlatform::virtualDJ, 100, DeckSide::right),
             u"Set VirtualDJ right deck volume to 100 percent."_s);
}

QTEST_GUILESS_MAIN(DeckCommandsTest)
#include "tst_deckcommands.moc"
