#include "midi/miditransport.h"
#include "midi/notemap.h"
#include "support/recordingmidioutput.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

Q_DECLARE_METATYPE(DJPlatform)

namespace {

// An output on a MIDI system the test stops and starts; it counts its opens.
class StoppableMIDIOutput final : public MIDIOutput
{
public:
    std::atomic<bool> running = true;
    std::atomic<int> opens = 0;
    TroubleHandler reportTrouble;

    void setTroubleHandler(TroubleHandler handler) override { reportTrouble = std::move(handler); }
    std::optional<MIDIOpenFailure> open(const QString &, const QString &) override
    {
        ++opens;
        return running ? std::nullopt : std::optional(MIDIOpenFailure{u"JACK"_s});
    }
    bool isRunning() override { return running; }
    void send(const std::array<std::uint8_t, 3> &) override {}
};

} // namespace

class MIDITransportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Mappings that earlier versions installed stay on the DJs' computers, so these numbers never change.
    void noteMap_keepsTheNumbersInstalledMappingsBind()
    {
        // The left deck's six notes in command order (play, pause, advance, playNext, stop, load), the
        // right deck's, then the volume values for 25, 50, 75 and 100 %.
        const std::pair<DJPlatform, QList<int>> rows[] = {
            {DJPlatform::serato, {80, 80, 82, 82, 83, 88, 84, 84, 86, 86, 87, 89, 0, 32, 51, 64}},
            {DJPlatform::virtualDJ, {80, 81, 82, 82, 83, 88, 84, 85, 86, 86, 87, 89, 32, 64, 95, 127}}};
        for (const auto &[platform, numbers] : rows) {
            QList<int> actual;
            for (const DeckSide deck : kAllDeckSides) {
                for (const RemoteCommand command : kAllRemoteCommands)
                    actual << NoteMap::note(platform, command, deck);
            }
            for (const int percent : {25, 50, 75, 100})
                actual << NoteMap::volumeValue(platform, percent).value_or(255);
            QCOMPARE(actual, numbers);
            QCOMPARE(NoteMap::volumeValue(platform, 30), std::nullopt);
        }
    }

    void pulse_holdsTheNoteForThePlatformsTime()
    {
        for (const auto &[platform, hold] :
             {std::pair{DJPlatform::serato, 70ms}, {DJPlatform::virtualDJ, 250ms}}) {
            const auto [transport, log, input] = RecordingMIDIOutput::transport(platform);
            // A data byte above 127 would read as a status byte and garble what the DJ software parses.
            transport->setControlChange(20, 200);
            transport->setControlChange(200, 10);
            transport->pulse(128);
            transport->pulse(84);
            QVERIFY(log->waitForCount(3));
            const auto messages = log->messages();
            QCOMPARE(log->bytes(), (std::vector<Bytes>{{0xBF, 20, 127}, {0x9F, 84, 127}, {0x8F, 84, 0}}));
            QVERIFY(messages[2].time - messages[1].time >= hold);
        }
    }

    void input_reportsEachDecksLatestPlayState_data()
    {
        QTest::addColumn<DJPlatform>("platform");
        QTest::addColumn<QByteArray>("messages"); // hex, arriving together before the main thread looks
        QTest::addColumn<QString>("reports");
        const auto S = DJPlatform::serato, V = DJPlatform::virtualDJ;
        const std::tuple<const char *, DJPlatform, const char *, QString> rows[] = {
            {"on, full velocity", S, "9F507F", u"left playing"_s},
            {"on, velocity 1", V, "9F5401", u"right playing"_s},
            {"on, velocity 0", S, "9F5400", u"right stopped"_s},
            {"off, any velocity", V, "8F5040", u"left stopped"_s},
            {"burst: each deck's latest", S, "9F507F 8F547F 8F507F 9F507F", u"left playing, right stopped"_s},
            // Channel 1, the pause note, a controller on the play number, two bytes, a status byte as
            // velocity.
            {"no play report", V, "90507F 9F517F BF507F 9F50 9F5090", {}}};
        for (const auto &[name, platform, messages, reports] : rows)
            QTest::newRow(name) << platform << QByteArray(messages) << reports;
    }

    void input_reportsEachDecksLatestPlayState()
    {
        QFETCH(DJPlatform, platform);
        QFETCH(QByteArray, messages);
        QFETCH(QString, reports);
        auto [transport, log, input] = RecordingMIDIOutput::transport(platform);
        QStringList received;
        transport->setDeckReportHandler([&received](DeckSide deck, bool playing) {
            received << rawValue(deck) + (playing ? u" playing"_s : u" stopped"_s);
        });
        QVERIFY(!transport->hasHeardFromDJSoftware());
        for (const QByteArray &message : messages.split(' ')) {
            const QByteArray bytes = QByteArray::fromHex(message);
            input->send(std::vector<std::uint8_t>(bytes.cbegin(), bytes.cend()));
        }
        QCoreApplication::processEvents();
        QCOMPARE(received.join(u", "_s), reports);
        // Anything at all shows that the DJ software answers on the destination.
        QVERIFY(transport->hasHeardFromDJSoftware());
        // Released, the transport takes nothing more.
        const std::weak_ptr<MIDITransport> released = transport;
        transport.reset();
        input->send({0x9F, 0x50, 0x7F});
        QVERIFY(released.expired());
    }

    void failedOpen_reportsTheStepAndDropsEverything()
    {
        // The real ALSA refusal at the first step is tst_rtmidioutput's; this is a later step.
        const auto [transport, log, input] = RecordingMIDIOutput::transport(
            DJPlatform::virtualDJ, MIDIOpenFailure{u"ALSA"_s, MIDIOpenFailure::Stage::destination, 3});
        QCOMPARE(transport->startupError(),
                 u"The VirtualDJ virtual MIDI destination could not be created (error 3)."_s);
        transport->pulse(80);
        transport->setControlChange(20, 64);
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 300ms));
        QCOMPARE(log->bytes(), std::vector<Bytes>());
    }

    void trouble_reopensOnlyWhileTheSystemIsAway()
    {
        // How the source comes back is tested for real by tst_connectorendtoend; here, that a send which
        // failed once on a running system changes nothing, and that retries end once the system is back.
        auto owned = std::make_unique<StoppableMIDIOutput>();
        StoppableMIDIOutput &output = *owned;
        const std::shared_ptr<MIDITransport> transport =
            MIDITransport::create(DJPlatform::serato, std::move(owned));
        output.reportTrouble();
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 0ms));
        QCOMPARE(transport->error(), std::nullopt);
        QCOMPARE(output.opens.load(), 1);
        output.running = false;
        output.reportTrouble();
        QTRY_VERIFY_WITH_TIMEOUT(output.opens >= 2, 10000);
        output.running = true;
        QTRY_COMPARE_WITH_TIMEOUT(transport->error(), std::nullopt, 10000);
        const int opensWhenBack = output.opens;
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 2500ms));
        QCOMPARE(output.opens.load(), opensWhenBack);
    }

    void earlierTask_wakesTheTimerThreadWaitingForALaterOne()
    {
        const auto transport = RecordingMIDIOutput::transport(DJPlatform::serato).transport;
        transport->schedule(1h, [] {});
        // Gives the thread time to fall asleep until the hour is up.
        std::this_thread::sleep_for(50ms);
        std::promise<void> ran;
        transport->schedule(0ms, [&ran] { ran.set_value(); });
        QCOMPARE(ran.get_future().wait_for(10s), std::future_status::ready);
    }

    void releaseFromATask_doesNotWaitForItself()
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
};

QTEST_GUILESS_MAIN(MIDITransportTest)
#include "tst_miditransport.moc"
