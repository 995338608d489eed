#include "midi/notemap.h"

#include "serverharness.h"
#include "support/connectorprocess.h"
#include "support/servicerequirement.h"

#include <QFileInfo>

#include <RtMidi.h>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

// Serato DJ Pro on JACK as far as the connector can tell: it counts presses of the play notes (on JACK's
// process thread) and reports a deck's state as its play note's LED.
struct FakeSerato
{
    FakeSerato()
    {
        in.setCallback(
            [](double, std::vector<unsigned char> *message, void *presses) {
                if (message->size() == 3 && (*message)[0] == 0x9F && (*message)[2] != 0)
                    ++*static_cast<std::atomic<int> *>(presses);
            },
            &presses);
        const std::string suffix = (u':' + midiDeviceName(DJPlatform::serato)).toStdString();
        for (RtMidi *end : std::initializer_list<RtMidi *>{&in, &out}) {
            for (unsigned int port = 0; port < end->getPortCount(); ++port) {
                if (end->getPortName(port).ends_with(suffix))
                    end->openPort(port, "connector");
            }
        }
    }

    void report(DeckSide deck, bool playing)
    {
        const unsigned char message[] = {0x9F, NoteMap::note(DJPlatform::serato, RemoteCommand::play, deck),
                                         static_cast<unsigned char>(playing ? 127 : 0)};
        out.sendMessage(message, sizeof(message));
    }

    RtMidiIn in{RtMidi::UNIX_JACK, "Tarvik fake Serato in"};
    RtMidiOut out{RtMidi::UNIX_JACK, "Tarvik fake Serato out"};
    std::atomic<int> presses = 0;
};

} // namespace

// The server in a process that never reaches the DNS-SD library's system bus; with the connector's real
// transport, it drives a fake Serato DJ Pro on JACK and follows its reports.
class DeckFeedbackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus"); }

    void commandsAndReports_travelOverJACK()
    {
        if (QFileInfo::exists(u"/dev/snd/seq"_s))
            QSKIP("this machine has an ALSA sequencer, which the transport prefers to JACK");
        ServerHarness harness({}, MIDITransport::create(DJPlatform::serato));
        CONNECTOR_REQUIRE_SERVICE(!harness.midi->startupError(), u"JACK server"_s);
        harness.router->listenToDeckReports();
        const std::shared_ptr<RemoteServer> server = harness.start();
        const quint16 port = server->serverPort();
        QTRY_COMPARE(harness.lines, QStringList{u"Ready on private network port %1. Automatic discovery is "
                                                u"unavailable; the manual address still works."_s.arg(port)});
        const QString token = pairOverLoopback(port, u"482913"_s);
        const auto status = [&](const QString &key) {
            return loopbackRequest(port, "GET /api/status", {}, token).body.value(key);
        };
        QCOMPARE(status(u"deckStateReported"_s), QJsonValue(false));
        FakeSerato dj;

        // JACK connects in its own time and the dummy server running late drops whole periods of MIDI,
        // so a report goes out again until it is seen.
        QTRY_VERIFY_WITH_TIMEOUT(
            (dj.report(DeckSide::left, false), status(u"deckStateReported"_s) == QJsonValue(true)), 20'000);
        loopbackRequest(port, "POST /api/command", R"({"command":"play","deck":"left"})", token);
        QTRY_COMPARE_WITH_TIMEOUT(dj.presses.load(), 1, 10'000);

        // A flood of reports: the connector keeps answering, and follows the last word.
        for (int report = 0; report < 1000; ++report)
            dj.report(DeckSide::right, report % 2 == 0);
        QTRY_VERIFY_WITH_TIMEOUT((dj.report(DeckSide::right, true), status(u"rightState"_s) == u"playing"_s),
                                 20'000);
    }
};

QTEST_GUILESS_MAIN(DeckFeedbackTest)
#include "tst_deckfeedback.moc"
