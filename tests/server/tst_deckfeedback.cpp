#include "midi/notemap.h"
#include "server/remoteserver.h"

#include "serverharness.h"
#include "support/servicerequirement.h"

#include <QFileInfo>
#include <QProcess>

#include <RtMidi.h>

#include <array>
#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

const std::string kPortSuffix = ":" + midiDeviceName(DJPlatform::serato).toStdString();

// Serato DJ Pro as far as the connector can tell, on JACK: each press of a deck's play note toggles
// the deck, and every change of a deck goes back as the play note's LED state.
class FakeSerato
{
public:
    FakeSerato()
        : m_in(RtMidi::UNIX_JACK, "Tarvik fake Serato in")
        , m_out(RtMidi::UNIX_JACK, "Tarvik fake Serato out")
    {
        m_in.setCallback(&FakeSerato::received, this);
        for (RtMidi *end : std::initializer_list<RtMidi *>{&m_in, &m_out}) {
            for (unsigned int port = 0; port < end->getPortCount(); ++port) {
                if (end->getPortName(port).ends_with(kPortSuffix))
                    end->openPort(port, "connector");
            }
        }
    }

    bool isConnected() const { return m_in.isPortOpen() && m_out.isPortOpen(); }
    bool isPlaying(DeckSide deck) const { return m_playing[index(deck)]; }
    int presses() const { return m_presses; }

    // The DJ starts or stops a deck on the computer.
    void setPlaying(DeckSide deck, bool playing)
    {
        m_playing[index(deck)] = playing;
        sendState(deck);
    }

    // The LED state again, as the DJ software sends it on a change.
    void sendState(DeckSide deck)
    {
        send({0x9F, note(deck), static_cast<unsigned char>(m_playing[index(deck)] ? 127 : 0)});
    }

    void send(const std::vector<unsigned char> &message)
    {
        std::lock_guard lock(m_sendLock);
        m_out.sendMessage(&message);
    }

private:
    static std::size_t index(DeckSide deck) { return static_cast<std::size_t>(deck); }
    static unsigned char note(DeckSide deck)
    {
        return NoteMap::note(DJPlatform::serato, RemoteCommand::play, deck);
    }

    // On JACK's process thread.
    static void received(double, std::vector<unsigned char> *message, void *self)
    {
        auto *dj = static_cast<FakeSerato *>(self);
        if (message->size() != 3 || (*message)[0] != 0x9F || (*message)[2] == 0)
            return;
        for (const DeckSide deck : kAllDeckSides) {
            if ((*message)[1] == note(deck)) {
                ++dj->m_presses;
                dj->setPlaying(deck, !dj->m_playing[index(deck)]);
            }
        }
    }

    RtMidiIn m_in;
    // RtMidi's JACK sender has no lock of its own; the test thread and JACK's thread both send.
    std::mutex m_sendLock;
    RtMidiOut m_out;
    std::array<std::atomic<bool>, 2> m_playing{false, false};
    std::atomic<int> m_presses = 0;
};

bool jackRunning()
{
    QProcess lister;
    lister.start(u"jack_lsp"_s, {});
    return lister.waitForFinished(10000) && lister.exitCode() == 0;
}

} // namespace

// The connector's real transport, router and server against a fake Serato DJ Pro, both on JACK.
class DeckFeedbackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reports_correctTheExpectationAndTheToggle();

private:
    QJsonObject request(const QByteArray &method, const QByteArray &path, const QByteArray &body = {}) const;
    QString leftState() const { return request("GET", "/api/status").value(u"leftState"_s).toString(); }

    std::unique_ptr<RouterHarness> m_harness;
    std::shared_ptr<RemoteServer> m_server;
    QString m_token;
};

void DeckFeedbackTest::initTestCase()
{
    // No DNS-SD: this test needs the loopback address only.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    CONNECTOR_REQUIRE_SERVICE(jackRunning(), u"JACK server (jack_lsp)"_s);
    if (QFileInfo::exists(u"/dev/snd/seq"_s))
        QSKIP("this machine has an ALSA sequencer, which the transport prefers to JACK");
}

QJsonObject DeckFeedbackTest::request(const QByteArray &method, const QByteArray &path,
                                      const QByteArray &body) const
{
    QByteArray head = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!m_token.isEmpty())
        head += "Authorization: Bearer " + m_token.toUtf8() + "\r\n";
    return bodyOf(exchange(m_server->serverPort(),
                           head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body));
}

void DeckFeedbackTest::reports_correctTheExpectationAndTheToggle()
{
    m_harness = std::make_unique<RouterHarness>(QVariantHash{}, MIDITransport::create(DJPlatform::serato));
    QCOMPARE(m_harness->midi->startupError(), std::nullopt);
    m_harness->router->listenToDeckReports();
    m_server = std::make_shared<RemoteServer>(DJPlatform::serato, m_harness->router,
                                              RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
    m_server->start();
    QTRY_VERIFY(m_server->serverPort() != 0);
    m_token = request("POST", "/api/pair", R"({"code":"482913"})").value(u"token"_s).toString();
    QVERIFY(!m_token.isEmpty());
    QCOMPARE(request("GET", "/api/status").value(u"deckStateReported"_s), QJsonValue(false));

    FakeSerato dj;
    QVERIFY(dj.isConnected());

    // The DJ starts the left deck on the computer. JACK connects in its own time and the dummy server
    // running late drops whole periods of MIDI, so the state goes out again until it is seen.
    dj.setPlaying(DeckSide::left, true);
    QTRY_VERIFY_WITH_TIMEOUT((dj.sendState(DeckSide::left), leftState() == u"playing"_s), 20'000);
    QCOMPARE(request("GET", "/api/status").value(u"deckStateReported"_s), QJsonValue(true));

    // The phone's play must not toggle the playing deck off.
    QCOMPARE(request("POST", "/api/command", R"({"command":"play","deck":"left"})").value(u"message"_s),
             u"Left deck was already marked as playing."_s);
    QTest::qWait(500);
    QCOMPARE(dj.presses(), 0);
    QVERIFY(dj.isPlaying(DeckSide::left));

    // The DJ stops it on the computer: the phone's play now sends the note, and the deck plays.
    dj.setPlaying(DeckSide::left, false);
    QTRY_VERIFY_WITH_TIMEOUT((dj.sendState(DeckSide::left), leftState() == u"paused"_s), 20'000);
    QCOMPARE(request("POST", "/api/command", R"({"command":"play","deck":"left"})").value(u"message"_s),
             u"Play sent to SERATO left deck."_s);
    QTRY_COMPARE_WITH_TIMEOUT(dj.presses(), 1, 10'000);
    QVERIFY(dj.isPlaying(DeckSide::left));
    QCOMPARE(leftState(), u"playing"_s);

    // A flood of reports for the right deck: the connector keeps answering, and ends on the last word.
    for (int report = 0; report < 1000; ++report)
        dj.send({0x9F, 84, static_cast<unsigned char>(report % 2 == 0 ? 127 : 0)});
    dj.setPlaying(DeckSide::right, true);
    QTRY_VERIFY_WITH_TIMEOUT(
        (dj.sendState(DeckSide::right), request("GET", "/api/status").value(u"rightState"_s) == u"playing"_s),
        20'000);
    QCOMPARE(leftState(), u"playing"_s);
    QVERIFY(dj.isPlaying(DeckSide::left));
    m_server.reset();
    m_harness.reset();
}

QTEST_GUILESS_MAIN(DeckFeedbackTest)
#include "tst_deckfeedback.moc"
