#include "routerharness.h"

#include <QRegularExpression>
#include <QTest>

#include <set>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;
using Message = MIDIMessageLog::Message;

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(DeckSide)

namespace {

// Longer than any advance sequence with its last note-off.
constexpr auto kSettle = 700ms;
// When the first delayed step of a Serato advance is due.
constexpr auto kAdvanceStep = 120ms;

std::vector<int> noteOns(const MIDIMessageLog &log)
{
    std::vector<int> notes;
    for (const Bytes &bytes : log.bytes()) {
        if (bytes[0] == 0x9F)
            notes.push_back(bytes[1]);
    }
    return notes;
}

bool containsNoteOn(const MIDIMessageLog &log, int note)
{
    const std::vector<int> notes = noteOns(log);
    return std::find(notes.cbegin(), notes.cend(), note) != notes.cend();
}

} // namespace

class CommandRouterMIDITest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handle_sendsOnlyWhatTheExpectationCalls_data();
    void handle_sendsOnlyWhatTheExpectationCalls();
    void handle_resultDescribesTheCommand();
    void handle_commandIDsAreFreshUpperCaseUUIDs();
    void handleVolume_sendsControllerAndRecordsVolume_data();
    void handleVolume_sendsControllerAndRecordsVolume();
    void handleVolume_otherPercentages_doNothing();
    void advance_seratoPlayingDeck_stopsLoadsThenPlays();
    void advance_seratoIdleDeck_loadsThenPlays();
    void advance_virtualDJ_sendsOnePulse();
    void advance_routerReleasedMidSequence_sendsNoLaterStep();
    void advance_transportReleasedMidSequence_sendsNothingMore();
    void handle_withoutMIDISource_stillAnswers();
};

void CommandRouterMIDITest::handle_sendsOnlyWhatTheExpectationCalls_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<DeckSide>("deck");
    QTest::addColumn<QList<RemoteCommand>>("commands");
    QTest::addColumn<std::vector<int>>("notes");
    QTest::addColumn<QString>("finalState");

    using C = RemoteCommand;
    const auto serato = DJPlatform::serato;
    const auto virtualDJ = DJPlatform::virtualDJ;
    const auto left = DeckSide::left;
    const auto right = DeckSide::right;
    QTest::newRow("play twice") << serato << left << QList{C::play, C::play} << std::vector{80}
                                << u"playing"_s;
    QTest::newRow("pause a fresh deck")
        << serato << right << QList{C::pause} << std::vector<int>{} << u"stopped"_s;
    QTest::newRow("serato pause uses the play note")
        << serato << right << QList{C::play, C::pause} << std::vector{84, 84} << u"paused"_s;
    QTest::newRow("virtualdj pause has its own note")
        << virtualDJ << right << QList{C::play, C::pause} << std::vector{84, 85} << u"paused"_s;
    QTest::newRow("pause twice") << virtualDJ << left << QList{C::play, C::pause, C::pause}
                                 << std::vector{80, 81} << u"paused"_s;
    QTest::newRow("load then play") << serato << left << QList{C::load, C::play} << std::vector{88, 80}
                                    << u"playing"_s;
    QTest::newRow("play then load stops")
        << virtualDJ << right << QList{C::play, C::load, C::play} << std::vector{84, 89, 84} << u"playing"_s;
    QTest::newRow("stop from anywhere")
        << virtualDJ << right << QList{C::stop, C::play, C::stop} << std::vector{87, 84, 87} << u"stopped"_s;
    QTest::newRow("play-next while playing")
        << virtualDJ << left << QList{C::playNext, C::playNext} << std::vector{82, 82} << u"playing"_s;
    QTest::newRow("play after advance sends nothing")
        << virtualDJ << right << QList{C::advance, C::play} << std::vector{86} << u"playing"_s;
}

void CommandRouterMIDITest::handle_sendsOnlyWhatTheExpectationCalls()
{
    QFETCH(DJPlatform, platform);
    QFETCH(DeckSide, deck);
    QFETCH(QList<RemoteCommand>, commands);
    QFETCH(std::vector<int>, notes);
    QFETCH(QString, finalState);

    RouterHarness harness(platform);
    for (const RemoteCommand command : commands)
        harness.router->handle(command, deck);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, kSettle));
    QCOMPARE(noteOns(*harness.midi.log), notes);
    // Every note-on was released.
    QCOMPARE(harness.midi.log->count(), 2 * notes.size());
    QCOMPARE(harness.router->expectedState(deck), finalState);
    const DeckSide other = deck == DeckSide::left ? DeckSide::right : DeckSide::left;
    QCOMPARE(harness.router->expectedState(other), u"stopped"_s);
}

void CommandRouterMIDITest::handle_resultDescribesTheCommand()
{
    RouterHarness harness;
    const CommandResult played = harness.router->handle(RemoteCommand::play, DeckSide::left);
    QVERIFY(played.ok);
    QCOMPARE(played.message, u"Play sent to SERATO left deck."_s);
    QCOMPARE(played.expectedState, u"playing"_s);
    QCOMPARE(played.deck, u"left"_s);
    QCOMPARE(played.volumePercent, std::nullopt);

    const CommandResult again = harness.router->handle(RemoteCommand::play, DeckSide::left);
    QVERIFY(again.ok);
    QCOMPARE(again.message, u"Left deck was already marked as playing."_s);
    QCOMPARE(again.expectedState, u"playing"_s);

    const CommandResult paused = harness.router->handle(RemoteCommand::pause, DeckSide::right);
    QVERIFY(paused.ok);
    QCOMPARE(paused.message, u"Right deck was already marked as paused."_s);
    QCOMPARE(paused.expectedState, u"stopped"_s);
    QCOMPARE(paused.deck, u"right"_s);
}

void CommandRouterMIDITest::handle_commandIDsAreFreshUpperCaseUUIDs()
{
    RouterHarness harness;
    const QRegularExpression canonical(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
    std::set<QString> seen;
    for (int round = 0; round < 20; ++round) {
        const CommandResult result = harness.router->handle(RemoteCommand::stop, DeckSide::left);
        const CommandResult volume = *harness.router->handleVolume(100, DeckSide::right);
        for (const QString &id : {result.commandID, volume.commandID}) {
            QVERIFY2(canonical.match(id).hasMatch(), qPrintable(id));
            QVERIFY(seen.insert(id).second);
        }
    }
}

void CommandRouterMIDITest::handleVolume_sendsControllerAndRecordsVolume_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<int>("percent");
    QTest::addColumn<DeckSide>("deck");
    QTest::addColumn<Bytes>("controlChange");
    QTest::addColumn<int>("leftVolume");
    QTest::addColumn<int>("rightVolume");
    QTest::addColumn<QString>("message");

    QTest::newRow("serato 25 on the right moves both decks")
        << DJPlatform::serato << 25 << DeckSide::right << Bytes{0xBF, 21, 0} << 25 << 25
        << u"Set Serato music level to 25 percent."_s;
    QTest::newRow("serato 75 on the left")
        << DJPlatform::serato << 75 << DeckSide::left << Bytes{0xBF, 20, 51} << 75 << 75
        << u"Set Serato music level to 75 percent."_s;
    QTest::newRow("virtualdj 50 on the left only")
        << DJPlatform::virtualDJ << 50 << DeckSide::left << Bytes{0xBF, 20, 64} << 50 << 100
        << u"Set VirtualDJ left deck volume to 50 percent."_s;
    QTest::newRow("virtualdj 25 on the right only")
        << DJPlatform::virtualDJ << 25 << DeckSide::right << Bytes{0xBF, 21, 32} << 100 << 25
        << u"Set VirtualDJ right deck volume to 25 percent."_s;
}

void CommandRouterMIDITest::handleVolume_sendsControllerAndRecordsVolume()
{
    QFETCH(DJPlatform, platform);
    QFETCH(int, percent);
    QFETCH(DeckSide, deck);
    QFETCH(Bytes, controlChange);
    QFETCH(int, leftVolume);
    QFETCH(int, rightVolume);
    QFETCH(QString, message);

    RouterHarness harness(platform);
    QStringList notified;
    harness.router->setOnStateChange([&notified](const QString &text) { notified << text; });
    harness.router->handle(RemoteCommand::play, deck);
    const std::optional<CommandResult> result = harness.router->handleVolume(percent, deck);

    QVERIFY(result);
    QVERIFY(result->ok);
    QCOMPARE(result->message, message);
    QCOMPARE(result->volumePercent, std::optional<int>(percent));
    QCOMPARE(result->expectedState, u"playing"_s);
    QCOMPARE(result->deck, rawValue(deck));
    QCOMPARE(harness.router->expectedVolume(DeckSide::left), leftVolume);
    QCOMPARE(harness.router->expectedVolume(DeckSide::right), rightVolume);
    QCOMPARE(harness.router->expectedState(deck), u"playing"_s);
    QVERIFY(harness.midi.log->waitForCount(2));
    QCOMPARE(harness.midi.log->bytes()[1], controlChange);
    QTRY_COMPARE(notified.size(), 2);
    QCOMPARE(notified.last(), message);
}

void CommandRouterMIDITest::handleVolume_otherPercentages_doNothing()
{
    RouterHarness harness(DJPlatform::virtualDJ);
    int notified = 0;
    harness.router->setOnStateChange([&notified](const QString &) { ++notified; });
    for (const int percent : {0, 30, 49, 51, -25, 101, 127})
        QCOMPARE(harness.router->handleVolume(percent, DeckSide::left).has_value(), false);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, 10ms));
    QCOMPARE(harness.midi.log->count(), std::size_t(0));
    QCOMPARE(harness.router->expectedVolume(DeckSide::left), 100);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(notified, 0);
}

void CommandRouterMIDITest::advance_seratoPlayingDeck_stopsLoadsThenPlays()
{
    RouterHarness harness;
    harness.router->handle(RemoteCommand::play, DeckSide::right);
    QVERIFY(harness.midi.log->waitForCount(2));

    const CommandResult result = harness.router->handle(RemoteCommand::advance, DeckSide::right);
    QCOMPARE(result.message, u"Advanced and started the next prepared song on SERATO right deck."_s);
    QCOMPARE(result.expectedState, u"playing"_s);
    QVERIFY(harness.midi.log->waitForCount(8));
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, kSettle));

    const std::vector<Message> all = harness.midi.log->messages();
    const std::vector<Message> sequence(all.cbegin() + 2, all.cend());
    std::vector<Bytes> bytes;
    for (const Message &message : sequence)
        bytes.push_back(message.bytes);
    QCOMPARE(
        bytes,
        (std::vector<Bytes>{
            {0x9F, 87, 127}, {0x8F, 87, 0}, {0x9F, 86, 127}, {0x8F, 86, 0}, {0x9F, 84, 127}, {0x8F, 84, 0}}));
    const auto stopOn = sequence[0].time;
    QVERIFY(sequence[1].time - stopOn >= 70ms);
    QVERIFY(sequence[2].time - stopOn >= 120ms);
    QVERIFY(sequence[4].time - sequence[2].time >= 250ms);
    QVERIFY(sequence[4].time - stopOn >= 370ms);
}

void CommandRouterMIDITest::advance_seratoIdleDeck_loadsThenPlays()
{
    RouterHarness harness;
    harness.router->handle(RemoteCommand::playNext, DeckSide::left);
    QVERIFY(harness.midi.log->waitForCount(4));
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, kSettle));

    const std::vector<Message> sequence = harness.midi.log->messages();
    QCOMPARE(harness.midi.log->bytes(),
             (std::vector<Bytes>{{0x9F, 82, 127}, {0x8F, 82, 0}, {0x9F, 80, 127}, {0x8F, 80, 0}}));
    QVERIFY(sequence[2].time - sequence[0].time >= 250ms);
    QCOMPARE(harness.router->expectedState(DeckSide::left), u"playing"_s);
}

void CommandRouterMIDITest::advance_virtualDJ_sendsOnePulse()
{
    RouterHarness harness(DJPlatform::virtualDJ);
    harness.router->handle(RemoteCommand::play, DeckSide::left);
    harness.router->handle(RemoteCommand::advance, DeckSide::left);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, kSettle));
    QCOMPARE(noteOns(*harness.midi.log), (std::vector<int>{80, 82}));
    QCOMPARE(harness.midi.log->count(), std::size_t(4));
}

void CommandRouterMIDITest::advance_routerReleasedMidSequence_sendsNoLaterStep()
{
    // Only a release before the advance step is due says anything; a stalled machine gets another go.
    for (int attempt = 0; attempt < 5; ++attempt) {
        RouterHarness harness;
        harness.router->handle(RemoteCommand::play, DeckSide::left);
        const auto advanced = std::chrono::steady_clock::now();
        harness.router->handle(RemoteCommand::advance, DeckSide::left);
        harness.router.reset();
        if (std::chrono::steady_clock::now() - advanced >= kAdvanceStep)
            continue;

        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness.midi.transport, kSettle));
        // The stop went out at once (and is released); the advance and play steps died with the router.
        QCOMPARE(noteOns(*harness.midi.log), (std::vector<int>{80, 83}));
        QCOMPARE(harness.midi.log->count(), std::size_t(4));
        return;
    }
    QSKIP("the machine never released the router before the advance step was due");
}

void CommandRouterMIDITest::advance_transportReleasedMidSequence_sendsNothingMore()
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        RouterHarness harness;
        harness.router->handle(RemoteCommand::play, DeckSide::right);
        QVERIFY(harness.midi.log->waitForCount(2));
        const auto advanced = std::chrono::steady_clock::now();
        harness.router->handle(RemoteCommand::advance, DeckSide::right);
        const std::weak_ptr<MIDITransport> transport = harness.midi.transport;
        harness.router.reset();
        harness.midi.transport.reset();
        if (std::chrono::steady_clock::now() - advanced >= kAdvanceStep)
            continue;

        // No pending step kept the transport alive.
        QVERIFY(transport.expired());
        QTest::qWait(int(kSettle.count()));
        QVERIFY(containsNoteOn(*harness.midi.log, 87));
        QVERIFY(!containsNoteOn(*harness.midi.log, 86));
        QCOMPARE(noteOns(*harness.midi.log).size(), std::size_t(2));
        return;
    }
    QSKIP("the machine never released the transport before the advance step was due");
}

void CommandRouterMIDITest::handle_withoutMIDISource_stillAnswers()
{
    TestFixture fixture;
    const auto midi = RecordingMIDIOutput::transport(DJPlatform::serato, MIDIOpenFailure{u"ALSA"_s, {}, -2});
    const auto router =
        std::make_shared<CommandRouter>(DJPlatform::serato, midi.transport, fixture.settings());

    const CommandResult result = router->handle(RemoteCommand::play, DeckSide::left);
    QCOMPARE(result.message, u"Play sent to SERATO left deck."_s);
    QCOMPARE(router->expectedState(DeckSide::left), u"playing"_s);
    QCOMPARE(router->handleVolume(50, DeckSide::left)->message, u"Set Serato music level to 50 percent."_s);
    router->handle(RemoteCommand::advance, DeckSide::left);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*midi.transport, kSettle));
    QCOMPARE(midi.log->count(), std::size_t(0));
}

QTEST_GUILESS_MAIN(CommandRouterMIDITest)
#include "tst_commandroutermidi.moc"
