#include "core/wakeupsheldback.h"
#include "midi/miditransport.h"
#include "midi/notemap.h"
#include "support/recordingmidioutput.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

namespace {

// An output on a MIDI system the test stops and starts; it counts its opens.
struct StoppableMIDIOutput final : MIDIOutput
{
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
        // right deck's, then the volume values for 25, 50, 75 and 100 %, and none (255) for 30 %.
        const std::pair<DJPlatform, QList<int>> rows[] = {
            {DJPlatform::serato, {80, 80, 82, 82, 83, 88, 84, 84, 86, 86, 87, 89, 0, 32, 51, 64, 255}},
            {DJPlatform::virtualDJ, {80, 81, 82, 82, 83, 88, 84, 85, 86, 86, 87, 89, 32, 64, 95, 127, 255}}};
        for (const auto &[platform, numbers] : rows) {
            QList<int> actual;
            for (const DeckSide deck : kAllDeckSides) {
                for (const RemoteCommand command : kAllRemoteCommands)
                    actual << NoteMap::note(platform, command, deck);
            }
            for (const int percent : {25, 50, 75, 100, 30})
                actual << NoteMap::volumeValue(platform, percent).value_or(255);
            QCOMPARE(actual, numbers);
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
            QCOMPARE(log->bytes(), (std::vector<Bytes>{{0xBF, 20, 127}, {0x9F, 84, 127}, {0x8F, 84, 0}}));
            QVERIFY(log->messages()[2].time - log->messages()[1].time >= hold);
        }
    }

    void input_reportsEachDecksLatestPlayState()
    {
        // Messages (hex) arriving together before the main thread looks, and what it is told.
        const auto S = DJPlatform::serato, V = DJPlatform::virtualDJ;
        const std::tuple<DJPlatform, QByteArray, QString> rows[] = {
            {V, "9F5401"_ba, u"right playing"_s},
            {S, "9F5400"_ba, u"right stopped"_s},
            {V, "8F5040"_ba, u"left stopped"_s},
            {S, "9F507F 8F547F 8F507F 9F507F"_ba, u"left playing, right stopped"_s},
            // None: channel 1, the pause note, a controller, two bytes, a status byte as velocity.
            {V, "90507F 9F517F BF507F 9F50 9F5090"_ba, {}}};
        for (const auto &[platform, messages, reports] : rows) {
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
    }

    void failedOpen_reportsTheStepAndDropsEverything()
    {
        const auto [transport, log, input] = RecordingMIDIOutput::transport(
            DJPlatform::virtualDJ, MIDIOpenFailure{u"ALSA"_s, MIDIOpenFailure::Stage::destination, 3});
        QCOMPARE(transport->startupError(),
                 u"The VirtualDJ virtual MIDI destination could not be created (error 3)."_s);
        transport->pulse(80);
        transport->setControlChange(20, 64);
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport, 300ms));
        QCOMPARE(log->bytes(), std::vector<Bytes>());

        // The real output where no MIDI system runs refuses at the first step. Delivery over JACK is
        // checked by tst_deckfeedback, which plays the DJ software on the other end.
        if (QFileInfo::exists(u"/dev/snd/seq"_s))
            QSKIP("this machine has an ALSA sequencer, so a MIDI system is always there");
        // A JACK server name nobody runs: JACK is missing too.
        qputenv("JACK_DEFAULT_SERVER", "tarvik-test-no-such-server");
        // What the libraries print meanwhile goes to a file: ALSA must not complain about its missing device.
        QTemporaryFile diagnostics;
        QVERIFY(diagnostics.open());
        const int savedError = ::dup(STDERR_FILENO);
        ::dup2(diagnostics.handle(), STDERR_FILENO);
        const std::shared_ptr<MIDITransport> real = MIDITransport::create(DJPlatform::serato);
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedError);
        // The descriptors share one file offset, now past what was printed.
        QVERIFY(diagnostics.seek(0));
        const QByteArray printed = diagnostics.readAll();
        QVERIFY2(!printed.contains("ALSA"), printed.constData());
        const QString error = real->startupError().value_or(QString());
        QVERIFY2(QRegularExpression(uR"(^ALSA could not start \(error -\d+\)\.$)"_s).match(error).hasMatch(),
                 qPrintable(error));
    }

    void trouble_reopensOnlyWhileTheSystemIsAway()
    {
        // How the source comes back is tested for real by tst_connectorendtoend; here, that a send which
        // failed once on a running system changes nothing, and that retries end once the system is back.
        auto owned = std::make_unique<StoppableMIDIOutput>();
        StoppableMIDIOutput &output = *owned;
        const auto transport = MIDITransport::create(DJPlatform::serato, std::move(owned));
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

    void timer_wakesForAnEarlierTaskAndLetsATaskReleaseIt()
    {
        // A note-off that briefly holds its transport while the owner lets go ends the transport, and its
        // timer, on the timer thread itself, which must not wait for itself.
        auto owner = std::make_shared<std::shared_ptr<MIDITransport>>(
            RecordingMIDIOutput::transport(DJPlatform::serato).transport);
        (*owner)->schedule(1h, [] {});
        // Gives the thread time to fall asleep until the hour is up: the next task must wake it.
        std::this_thread::sleep_for(50ms);
        std::promise<void> released;
        {
            // As while the server answers: the wake-up waits until the hold ends, and is not lost.
            const WakeupsHeldBack answering;
            (*owner)->schedule(10ms, [owner, &released] {
                owner->reset();
                released.set_value();
            });
        }
        owner.reset();
        QCOMPARE(released.get_future().wait_for(30s), std::future_status::ready);
    }
};

QTEST_GUILESS_MAIN(MIDITransportTest)
#include "tst_miditransport.moc"
