#include "midi/miditransport.h"
#include "support/servicerequirement.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <RtMidi.h>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool jackRunning()
{
    QProcess lister;
    lister.start(u"jack_lsp"_s, {});
    return lister.waitForFinished(10000) && lister.exitCode() == 0;
}

// A message's bytes and its distance in seconds from the one before.
using Received = std::pair<std::vector<unsigned char>, double>;

// Collects what the listener has queued, waiting in 20 ms steps (at most `steps`) until `count` are in.
std::vector<Received> receive(RtMidiIn &listener, std::size_t count, int steps = 250)
{
    std::vector<Received> messages;
    std::vector<unsigned char> bytes;
    for (int step = 0;; ++step) {
        for (double delta = listener.getMessage(&bytes); !bytes.empty(); delta = listener.getMessage(&bytes))
            messages.push_back({bytes, delta});
        if (messages.size() >= count || step == steps)
            return messages;
        QTest::qWait(20);
    }
}

} // namespace

class RtMidiOutputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void jack_deliversPulseAndControlChange();
    void noMIDISystem_reportsALSAAndStaysUp();
};

void RtMidiOutputTest::jack_deliversPulseAndControlChange()
{
    CONNECTOR_REQUIRE_SERVICE(jackRunning(), u"JACK server (jack_lsp)"_s);
    if (QFileInfo::exists(u"/dev/snd/seq"_s))
        QSKIP("this machine has an ALSA sequencer, which the transport prefers to JACK");

    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(DJPlatform::virtualDJ);
    QCOMPARE(transport->startupError(), std::nullopt);
    // What the DJ software would receive: a JACK input connected to the source by its full name.
    RtMidiIn listener(RtMidi::UNIX_JACK, "Tarvik DJ Connector test listener");
    for (unsigned int port = 0; port < listener.getPortCount(); ++port) {
        if (listener.getPortName(port)
            == "Tarvik DJ Connector - VirtualDJ Client:Tarvik DJ Connector VirtualDJ")
            listener.openPort(port, "listener");
    }
    QVERIFY(listener.isPortOpen());

    // Until JACK has made the connection messages go nowhere, and the dummy server running late drops
    // whole periods of MIDI: JACK's loss, not the transport's, so a round that lost one is sent again.
    std::vector<Received> messages;
    for (int round = 0; round < 20 && messages.size() != 3; ++round) {
        receive(listener, 0);
        transport->setControlChange(20, 200);
        transport->pulse(80);
        messages = receive(listener, 3, 50);
    }
    QCOMPARE(messages.size(), std::size_t(3));
    QCOMPARE(messages[0].first, (std::vector<unsigned char>{0xBF, 20, 127}));
    QCOMPARE(messages[1].first, (std::vector<unsigned char>{0x9F, 80, 127}));
    QCOMPARE(messages[2].first, (std::vector<unsigned char>{0x8F, 80, 0}));
    // VirtualDJ holds a note for 250 ms; JACK delivers once per period, so allow a few milliseconds.
    QVERIFY2(messages[2].second >= 0.245, qPrintable(QString::number(messages[2].second)));
}

void RtMidiOutputTest::noMIDISystem_reportsALSAAndStaysUp()
{
    if (QFileInfo::exists(u"/dev/snd/seq"_s))
        QSKIP("this machine has an ALSA sequencer, so a MIDI system is always there");
    // A JACK server name nobody runs: JACK is missing too.
    const QByteArray previous = qgetenv("JACK_DEFAULT_SERVER");
    qputenv("JACK_DEFAULT_SERVER", "tarvik-test-no-such-server");
    // What the libraries print meanwhile goes to a file: ALSA must not complain about its missing device.
    QTemporaryFile diagnostics;
    QVERIFY(diagnostics.open());
    std::fflush(stderr);
    const int savedError = ::dup(STDERR_FILENO);
    ::dup2(diagnostics.handle(), STDERR_FILENO);
    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(DJPlatform::serato);
    std::fflush(stderr);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    previous.isNull() ? qunsetenv("JACK_DEFAULT_SERVER") : qputenv("JACK_DEFAULT_SERVER", previous);
    // The descriptors share one file offset, now past what was printed.
    QVERIFY(diagnostics.seek(0));
    const QByteArray printed = diagnostics.readAll();
    QVERIFY2(!printed.contains("ALSA"), printed.constData());

    const QString error = transport->startupError().value_or(QString());
    QVERIFY2(QRegularExpression(uR"(^ALSA could not start \(error -\d+\)\.$)"_s).match(error).hasMatch(),
             qPrintable(error));
    transport->pulse(80); // without a source, a no-op rather than a crash
}

QTEST_GUILESS_MAIN(RtMidiOutputTest)
#include "tst_rtmidioutput.moc"
