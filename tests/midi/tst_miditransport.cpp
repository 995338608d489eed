#include "midi/miditransport.h"
#include "support/recordingmidioutput.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <future>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

Q_DECLARE_METATYPE(DJPlatform)

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
    void pulse_holdsTheNoteForThePlatformsTime();
    void send_clampsValueAndDropsNonDataBytes();
    void input_reportsEachDecksLatestPlayState_data();
    void input_reportsEachDecksLatestPlayState();
    void failedOpen_reportsErrorAndDropsEverything();
    void systemStops_dropsAndReopensUntilItIsBack();
    void release_cancelsPendingNoteOff();
    void releaseFromATask_doesNotWaitForItself();
};

void MIDITransportTest::pulse_holdsTheNoteForThePlatformsTime()
{
    // Which note each command sends is checked against the shipped mapping files in tst_installers.
    for (const auto &[platform, hold] :
         {std::pair{DJPlatform::serato, 70ms}, {DJPlatform::virtualDJ, 250ms}}) {
        const auto [transport, log, input] = RecordingMIDIOutput::transport(platform);
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
    const auto [transport, log, input] = RecordingMIDIOutput::transport(DJPlatform::serato);
    transport->setControlChange(20, 200);
    transport->pulse(128);
    transport->setControlChange(200, 10);
    transport->pulse(127);
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 100ms));
    QCOMPARE(log->bytes(), (std::vector<Bytes>{{0xBF, 20, 127}, {0x9F, 127, 127}, {0x8F, 127, 0}}));
}

void MIDITransportTest::input_reportsEachDecksLatestPlayState_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QList<QByteArray>>("messages"); // arriving together, before the main thread looks
    QTest::addColumn<QStringList>("reports");

    const auto S = DJPlatform::serato;
    const auto V = DJPlatform::virtualDJ;
    using Messages = QList<QByteArray>;
    QTest::newRow("on, full velocity") << S << Messages{"\x9F\x50\x7F"} << QStringList{u"left playing"_s};
    QTest::newRow("on, velocity 1") << V << Messages{"\x9F\x54\x01"} << QStringList{u"right playing"_s};
    QTest::newRow("on, velocity 0") << S << Messages{QByteArray("\x9F\x54\x00", 3)}
                                    << QStringList{u"right stopped"_s};
    QTest::newRow("off, any velocity") << V << Messages{"\x8F\x50\x40"} << QStringList{u"left stopped"_s};
    QTest::newRow("burst: each deck's latest")
        << S << Messages{"\x9F\x50\x7F", "\x8F\x54\x7F", "\x8F\x50\x7F", "\x9F\x50\x7F"}
        << QStringList{u"left playing"_s, u"right stopped"_s};
    QTest::newRow("channel 1") << S << Messages{"\x90\x50\x7F"} << QStringList{};
    QTest::newRow("pause note") << V << Messages{"\x9F\x51\x7F"} << QStringList{};
    QTest::newRow("controller on the play number") << V << Messages{"\xBF\x50\x7F"} << QStringList{};
    QTest::newRow("two bytes") << S << Messages{"\x9F\x50"} << QStringList{};
    QTest::newRow("status byte as velocity") << S << Messages{"\x9F\x50\x90"} << QStringList{};
    QTest::newRow("sysex") << S << Messages{"\xF0\x7E\x7F\x06\x01\xF7"} << QStringList{};
}

void MIDITransportTest::input_reportsEachDecksLatestPlayState()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(QStringList, reports);

    auto [transport, log, input] = RecordingMIDIOutput::transport(platform);
    QStringList received;
    transport->setDeckReportHandler([&received](DeckSide deck, bool playing) {
        received << rawValue(deck) + (playing ? u" playing"_s : u" stopped"_s);
    });
    QVERIFY(!transport->hasHeardFromDJSoftware());
    for (const QByteArray &message : messages)
        input->send(std::vector<std::uint8_t>(message.cbegin(), message.cend()));
    QCoreApplication::processEvents();
    QCOMPARE(received, reports);
    // Anything at all shows that the DJ software answers on the destination.
    QVERIFY(transport->hasHeardFromDJSoftware());

    // Released, the transport takes nothing more.
    const std::weak_ptr<MIDITransport> released = transport;
    transport.reset();
    input->send({0x9F, 0x50, 0x7F});
    QVERIFY(released.expired());
}

void MIDITransportTest::failedOpen_reportsErrorAndDropsEverything()
{
    using Stage = MIDIOpenFailure::Stage;
    const std::tuple<DJPlatform, MIDIOpenFailure, QString> failures[] = {
        {DJPlatform::serato,
         {u"CoreMIDI"_s, Stage::client, -10830},
         u"CoreMIDI could not start (error -10830)."_s},
        {DJPlatform::serato,
         {u"JACK"_s, Stage::source, 8},
         u"The Serato DJ Pro virtual MIDI source could not be created (error 8)."_s},
        {DJPlatform::virtualDJ,
         {u"ALSA"_s, Stage::destination, 3},
         u"The VirtualDJ virtual MIDI destination could not be created (error 3)."_s}};
    for (const auto &[platform, failure, message] : failures) {
        const auto [transport, log, input] = RecordingMIDIOutput::transport(platform, failure);
        QCOMPARE(transport->startupError(), std::optional<QString>(message));
        input->send({0x9F, 0x50, 0x7F});
        QVERIFY(!transport->hasHeardFromDJSoftware());
        transport->pulse(80);
        transport->setControlChange(20, 64);
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 300ms));
        QCOMPARE(log->count(), std::size_t(0));
    }
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
        auto [transport, log, input] = RecordingMIDIOutput::transport(DJPlatform::virtualDJ);
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
