#include "midi/miditransport.h"
#include "midi/notemap.h"
#include "support/recordingmidioutput.h"

#include <QTest>

#include <atomic>
#include <future>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(MIDIOpenFailure)

namespace {

// An output on a MIDI system the test stops and starts; it counts what reaches it.
class StoppableMIDIOutput final : public MIDIOutput
{
public:
    struct System
    {
        std::atomic<bool> running = true;
        std::atomic<int> sent = 0;
        std::mutex lock;
        QStringList opened; // "client/source" per successful open
        int attempts = 0;
        TroubleHandler reportTrouble;
    };

    explicit StoppableMIDIOutput(std::shared_ptr<System> system)
        : m_system(std::move(system))
    {}

    void setTroubleHandler(TroubleHandler handler) override { m_system->reportTrouble = std::move(handler); }
    std::optional<MIDIOpenFailure> open(const QString &clientName, const QString &sourceName) override
    {
        std::lock_guard lock(m_system->lock);
        ++m_system->attempts;
        if (!m_system->running)
            return MIDIOpenFailure{u"JACK"_s, MIDIOpenFailure::Stage::client, 17};
        m_system->opened << clientName + u'/' + sourceName;
        return std::nullopt;
    }
    bool isRunning() override { return m_system->running; }
    void send(const std::array<std::uint8_t, 3> &) override { ++m_system->sent; }

private:
    std::shared_ptr<System> m_system;
};

} // namespace

class MIDITransportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void perPlatform_notesVolumesAndHoldTime_data();
    void perPlatform_notesVolumesAndHoldTime();
    void send_clampsValueAndDropsNonDataBytes();
    void failedOpen_reportsErrorAndDropsEverything_data();
    void failedOpen_reportsErrorAndDropsEverything();
    void systemStops_dropsAndReopensUntilItIsBack();
    void release_cancelsPendingNoteOff();
    void scheduler_runsByDeadlineThenSubmissionOrder();
    void releaseFromATask_doesNotWaitForItself();
};

void MIDITransportTest::perPlatform_notesVolumesAndHoldTime_data()
{
    QTest::addColumn<DJPlatform>("platform");
    // Left deck then right deck, each in command order: play, pause, advance, play-next, stop, load.
    QTest::addColumn<QList<int>>("notes");
    // Controller values for 25, 50, 75 and 100 percent, and none (-1) for 30, which the remote never offers.
    QTest::addColumn<QList<int>>("volumes");
    QTest::addColumn<int>("holdMs");

    QTest::newRow("serato: pause is the play note, 25 percent sends 0")
        << DJPlatform::serato << QList{80, 80, 82, 82, 83, 88, 84, 84, 86, 86, 87, 89}
        << QList{0, 32, 51, 64, -1} << 70;
    QTest::newRow("virtualdj: pause has its own note, 50 percent rounds up to 64")
        << DJPlatform::virtualDJ << QList{80, 81, 82, 82, 83, 88, 84, 85, 86, 86, 87, 89}
        << QList{32, 64, 95, 127, -1} << 250;
}

void MIDITransportTest::perPlatform_notesVolumesAndHoldTime()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QList<int>, notes);
    QFETCH(QList<int>, volumes);
    QFETCH(int, holdMs);

    QList<int> actualNotes, actualVolumes;
    for (const DeckSide deck : {DeckSide::left, DeckSide::right}) {
        for (const RemoteCommand command : kAllRemoteCommands)
            actualNotes << NoteMap::note(platform, command, deck);
    }
    for (const int percent : {25, 50, 75, 100, 30}) {
        const std::optional<std::uint8_t> value = NoteMap::volumeValue(platform, percent);
        actualVolumes << (value ? int(*value) : -1);
    }
    QCOMPARE(actualNotes, notes);
    QCOMPARE(actualVolumes, volumes);

    // A pulse: note-on now, note-off once the hold time has passed.
    const auto [transport, log] = RecordingMIDIOutput::transport(platform);
    transport->pulse(transport->note(RemoteCommand::pause, DeckSide::right));
    QVERIFY(log->waitForCount(2));
    const auto messages = log->messages();
    const auto note = std::uint8_t(notes[7]); // the right deck's pause
    QCOMPARE(messages[0].bytes, (Bytes{0x9F, note, 127}));
    QCOMPARE(messages[1].bytes, (Bytes{0x8F, note, 0}));
    QVERIFY(messages[1].time - messages[0].time >= std::chrono::milliseconds(holdMs));
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

void MIDITransportTest::failedOpen_reportsErrorAndDropsEverything_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<MIDIOpenFailure>("failure");
    QTest::addColumn<QString>("message");

    using Stage = MIDIOpenFailure::Stage;
    QTest::newRow("client") << DJPlatform::virtualDJ << MIDIOpenFailure{u"CoreMIDI"_s, Stage::client, -10830}
                            << u"CoreMIDI could not start (error -10830)."_s;
    QTest::newRow("source") << DJPlatform::serato << MIDIOpenFailure{u"JACK"_s, Stage::source, 8}
                            << u"The Serato DJ Pro virtual MIDI source could not be created (error 8)."_s;
}

void MIDITransportTest::failedOpen_reportsErrorAndDropsEverything()
{
    QFETCH(DJPlatform, platform);
    QFETCH(MIDIOpenFailure, failure);
    QFETCH(QString, message);

    const auto [transport, log] = RecordingMIDIOutput::transport(platform, failure);
    QCOMPARE(transport->startupError(), std::optional<QString>(message));
    transport->pulse(80);
    transport->setControlChange(20, 64);
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 300ms));
    QCOMPARE(log->count(), std::size_t(0));
}

void MIDITransportTest::systemStops_dropsAndReopensUntilItIsBack()
{
    auto system = std::make_shared<StoppableMIDIOutput::System>();
    const std::shared_ptr<MIDITransport> transport =
        MIDITransport::create(DJPlatform::serato, std::make_unique<StoppableMIDIOutput>(system));
    const auto attempts = [&system] {
        std::lock_guard lock(system->lock);
        return system->attempts;
    };

    // Trouble on a running system (a send that failed once) changes nothing.
    system->reportTrouble();
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 0ms));
    QCOMPARE(transport->error(), std::nullopt);
    QCOMPARE(attempts(), 1);

    system->running = false;
    system->reportTrouble();
    QTRY_COMPARE_WITH_TIMEOUT(
        transport->error(), std::optional(u"The MIDI system stopped. Waiting for it to come back…"_s), 10000);
    transport->pulse(80);
    QTRY_VERIFY_WITH_TIMEOUT(attempts() >= 2, 10000); // tried again while the system is away
    QCOMPARE(system->sent.load(), 0);

    system->running = true;
    QTRY_COMPARE_WITH_TIMEOUT(transport->error(), std::nullopt, 10000);
    transport->pulse(80);
    QTRY_COMPARE_WITH_TIMEOUT(system->sent.load(), 2, 10000);
    // Once back, nothing is retried any more, and the source came back under the same names.
    const int attemptsWhenBack = attempts();
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 2500ms));
    QCOMPARE(attempts(), attemptsWhenBack);
    std::lock_guard lock(system->lock);
    QCOMPARE(system->opened,
             QStringList(2, u"Tarvik DJ Connector - Serato Client/Tarvik DJ Connector Serato"_s));
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

void MIDITransportTest::scheduler_runsByDeadlineThenSubmissionOrder()
{
    std::vector<int> order; // only the timer thread touches it until `done` is set
    std::promise<void> done;
    MIDIScheduler scheduler;
    const auto start = MIDIScheduler::Clock::now();
    for (const auto &[id, delay] : std::vector<std::pair<int, std::chrono::milliseconds>>{
             {1, 60ms}, {2, 20ms}, {3, 40ms}, {4, 30ms}, {5, 30ms}})
        scheduler.schedule(start + delay, [&order, id] { order.push_back(id); });
    scheduler.schedule(start + 60ms, [&done] { done.set_value(); });
    QCOMPARE(done.get_future().wait_for(30s), std::future_status::ready);
    QCOMPARE(order, (std::vector<int>{2, 4, 5, 3, 1}));
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
