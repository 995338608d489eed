#include "midi/miditransport.h"
#include "support/servicerequirement.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUuid>

#include <RtMidi.h>

#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(DJPlatform)

namespace {

bool jackRunning()
{
    QProcess lister;
    lister.start(u"jack_lsp"_s, {});
    return lister.waitForFinished(10000) && lister.exitStatus() == QProcess::NormalExit
           && lister.exitCode() == 0;
}

// The transport prefers the ALSA sequencer; where there is one, it never reaches JACK.
bool alsaSequencerPresent()
{
    return QFileInfo::exists(u"/dev/snd/seq"_s);
}

// What the DJ software would receive: a JACK MIDI input connected to the connector's source.
class JackListener
{
public:
    struct Message
    {
        std::vector<unsigned char> bytes;
        SteadyClock::time_point time;
    };

    // False when no JACK port has that full name.
    bool connect(const QString &portName)
    {
        const std::string wanted = portName.toStdString();
        for (unsigned int port = 0; port < m_input.getPortCount(); ++port) {
            if (m_input.getPortName(port) == wanted) {
                m_input.setCallback(&JackListener::received, this);
                m_input.openPort(port, "listener");
                return true;
            }
        }
        return false;
    }

    QStringList portNames()
    {
        QStringList names;
        for (unsigned int port = 0; port < m_input.getPortCount(); ++port)
            names << QString::fromStdString(m_input.getPortName(port));
        return names;
    }

    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
    }

    std::vector<Message> take()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_messages, {});
    }

private:
    static void received(double, std::vector<unsigned char> *bytes, void *self)
    {
        auto *listener = static_cast<JackListener *>(self);
        {
            std::lock_guard lock(listener->m_mutex);
            listener->m_messages.push_back({*bytes, SteadyClock::now()});
        }
        listener->m_changed.notify_all();
    }

    RtMidiIn m_input{RtMidi::UNIX_JACK, "Tarvik DJ Connector test listener"};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

} // namespace

class RtMidiOutputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void jack_showsSourceUnderPlatformName_data();
    void jack_showsSourceUnderPlatformName();
    void jack_deliversPulseAndControlChange();
    void noMIDISystem_reportsALSAAndStaysUp();
};

void RtMidiOutputTest::jack_showsSourceUnderPlatformName_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("portName");

    QTest::newRow("serato") << DJPlatform::serato
                            << u"Tarvik DJ Connector - Serato Client:Tarvik DJ Connector Serato"_s;
    QTest::newRow("virtualdj") << DJPlatform::virtualDJ
                               << u"Tarvik DJ Connector - VirtualDJ Client:Tarvik DJ Connector VirtualDJ"_s;
}

void RtMidiOutputTest::jack_showsSourceUnderPlatformName()
{
    CONNECTOR_REQUIRE_SERVICE(jackRunning(), u"JACK server (jack_lsp)"_s);
    if (alsaSequencerPresent())
        QSKIP("this machine has an ALSA sequencer, which the transport uses instead of JACK");
    QFETCH(DJPlatform, platform);
    QFETCH(QString, portName);

    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(platform);
    QCOMPARE(transport->startupError(), std::nullopt);
    JackListener listener;
    QVERIFY2(listener.portNames().contains(portName), qPrintable(listener.portNames().join(u", "_s)));
}

void RtMidiOutputTest::jack_deliversPulseAndControlChange()
{
    CONNECTOR_REQUIRE_SERVICE(jackRunning(), u"JACK server (jack_lsp)"_s);
    if (alsaSequencerPresent())
        QSKIP("this machine has an ALSA sequencer, which the transport uses instead of JACK");

    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(DJPlatform::virtualDJ);
    QCOMPARE(transport->startupError(), std::nullopt);
    JackListener listener;
    QVERIFY(listener.connect(u"Tarvik DJ Connector - VirtualDJ Client:Tarvik DJ Connector VirtualDJ"_s));
    // Until JACK has made the connection, messages go nowhere: send until one arrives.
    for (int attempt = 0; attempt < 200; ++attempt) {
        transport->setControlChange(21, 0);
        QTest::qWait(20);
        if (!listener.take().empty())
            break;
    }

    // A JACK server that runs late (the non-realtime dummy driver on a busy machine) drops whole periods
    // of MIDI; that is JACK's loss, not the transport's, so a round that lost a message is sent again.
    std::vector<JackListener::Message> messages;
    for (int round = 0; round < 5 && messages.size() != 3; ++round) {
        listener.take();
        transport->setControlChange(20, 200);
        transport->pulse(80);
        listener.waitForCount(3, 5s);
        QTest::qWait(50);
        messages = listener.take();
    }
    QCOMPARE(messages.size(), std::size_t(3));
    QCOMPARE(messages[0].bytes, (std::vector<unsigned char>{0xBF, 20, 127}));
    QCOMPARE(messages[1].bytes, (std::vector<unsigned char>{0x9F, 80, 127}));
    QCOMPARE(messages[2].bytes, (std::vector<unsigned char>{0x8F, 80, 0}));
    // VirtualDJ holds a note for 250 ms; JACK delivers once per period, so allow a few milliseconds.
    const auto held =
        std::chrono::duration_cast<std::chrono::microseconds>(messages[2].time - messages[1].time);
    QVERIFY2(held >= 245ms, qPrintable(u"note held for %1 µs"_s.arg(held.count())));
}

void RtMidiOutputTest::noMIDISystem_reportsALSAAndStaysUp()
{
    if (alsaSequencerPresent())
        QSKIP("this machine has an ALSA sequencer, so a MIDI system is always there");
    // A JACK server name nobody runs: JACK is missing too.
    const QByteArray previous = qgetenv("JACK_DEFAULT_SERVER");
    qputenv("JACK_DEFAULT_SERVER", QUuid::createUuid().toByteArray(QUuid::Id128));
    const std::shared_ptr<MIDITransport> transport = MIDITransport::create(DJPlatform::serato);
    if (previous.isNull())
        qunsetenv("JACK_DEFAULT_SERVER");
    else
        qputenv("JACK_DEFAULT_SERVER", previous);

    const std::optional<QString> error = transport->startupError();
    QVERIFY(error);
    QVERIFY2(QRegularExpression(uR"(^ALSA could not start \(error -\d+\)\.$)"_s).match(*error).hasMatch(),
             qPrintable(*error));
    // Without a source, sending is a no-op rather than a crash.
    transport->pulse(80);
    transport->setControlChange(20, 64);
}

QTEST_GUILESS_MAIN(RtMidiOutputTest)
#include "tst_rtmidioutput.moc"
