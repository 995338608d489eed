#include "midi/miditransport.h"
#include "support/recordingmidioutput.h"

#include <QTest>

#include <future>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

class MIDITransportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pulse_holdsTheNoteForThePlatformsTime();
    void send_clampsValueAndDropsNonDataBytes();
    void failedOpen_reportsErrorAndDropsEverything();
    void release_cancelsPendingNoteOff();
    void releaseFromATask_doesNotWaitForItself();
};

void MIDITransportTest::pulse_holdsTheNoteForThePlatformsTime()
{
    // Which note each command sends is checked against the shipped mapping files in tst_installers.
    for (const auto &[platform, hold] :
         {std::pair{DJPlatform::serato, 70ms}, {DJPlatform::virtualDJ, 250ms}}) {
        const auto [transport, log] = RecordingMIDIOutput::transport(platform);
        const std::uint8_t note = transport->note(RemoteCommand::pause, DeckSide::right);
        transport->pulse(note);
        QVERIFY(log->waitForCount(2));
        const auto messages = log->messages();
        QCOMPARE(messages[0].bytes, (Bytes{0x9F, note, 127}));
        QCOMPARE(messages[1].bytes, (Bytes{0x8F, note, 0}));
        QVERIFY(messages[1].time - messages[0].time >= hold);
    }
}

void MIDITransportTest::send_clampsValueAndDropsNonDataBytes()
{
    // A data byte above 127 would read as a status byte and garble what the DJ software parses.
    const auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::serato);
    transport->setControlChange(20, 200);
    transport->pulse(128);
    transport->setControlChange(200, 10);
    transport->pulse(127);
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 100ms));
    QCOMPARE(log->bytes(), (std::vector<Bytes>{{0xBF, 20, 127}, {0x9F, 127, 127}, {0x8F, 127, 0}}));
}

void MIDITransportTest::failedOpen_reportsErrorAndDropsEverything()
{
    using Stage = MIDIOpenFailure::Stage;
    const std::pair<MIDIOpenFailure, QString> failures[] = {
        {{u"CoreMIDI"_s, Stage::client, -10830}, u"CoreMIDI could not start (error -10830)."_s},
        {{u"JACK"_s, Stage::source, 8},
         u"The Serato DJ Pro virtual MIDI source could not be created (error 8)."_s}};
    for (const auto &[failure, message] : failures) {
        const auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::serato, failure);
        QCOMPARE(transport->startupError(), std::optional<QString>(message));
        transport->pulse(80);
        transport->setControlChange(20, 64);
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 300ms));
        QCOMPARE(log->count(), std::size_t(0));
    }
}

void MIDITransportTest::release_cancelsPendingNoteOff()
{
    // Only a release that lands within the hold time says anything; a stalled machine gets another go.
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::virtualDJ);
        const auto pulsed = std::chrono::steady_clock::now();
        transport->pulse(86);
        const std::weak_ptr<MIDITransport> released = transport;
        transport.reset();
        if (std::chrono::steady_clock::now() - pulsed >= 250ms)
            continue;
        // The pending note-off holds the transport only weakly, so it is gone at once and sends nothing.
        QVERIFY(released.expired());
        QTest::qWait(400);
        QCOMPARE(log->bytes(), (std::vector<Bytes>{{0x9F, 86, 127}}));
        return;
    }
    QSKIP("the machine never released the transport within the hold time");
}

void MIDITransportTest::releaseFromATask_doesNotWaitForItself()
{
    // A note-off that briefly holds its transport while the owner lets go ends the transport, and its
    // timer, on the timer thread itself, which must not wait for itself.
    auto owner = std::make_shared<std::shared_ptr<MIDITransport>>(
        RecordingMIDIOutput::transport(DJPlatform::serato).transport);
    std::promise<void> released;
    (*owner)->schedule(10ms, [owner, &released] {
        owner->reset();
        released.set_value();
    });
    owner.reset();

    QCOMPARE(released.get_future().wait_for(30s), std::future_status::ready);
}

QTEST_GUILESS_MAIN(MIDITransportTest)
#include "tst_miditransport.moc"
