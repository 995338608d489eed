#include "midi/miditransport.h"
#include "support/recordingmidioutput.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(MIDIOpenFailure)

class MIDITransportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void open_usesPlatformNames_data();
    void open_usesPlatformNames();
    void pulse_releasesNoteAfterHoldTime_data();
    void pulse_releasesNoteAfterHoldTime();
    void pulse_sameNoteTwice_overlaps();
    void setControlChange_clampsValueAndSendsNothingElse();
    void send_dropsNumbersThatAreNotMIDIData();
    void startupError_namesSystemStepAndCode_data();
    void startupError_namesSystemStepAndCode();
    void failedOpen_dropsEveryMessage();
    void release_cancelsPendingNoteOff();
};

void MIDITransportTest::open_usesPlatformNames_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("source");

    QTest::newRow("serato") << DJPlatform::serato << u"Tarvik DJ Connector - Serato Client"_s
                            << u"Tarvik DJ Connector Serato"_s;
    QTest::newRow("virtualdj") << DJPlatform::virtualDJ << u"Tarvik DJ Connector - VirtualDJ Client"_s
                               << u"Tarvik DJ Connector VirtualDJ"_s;
}

void MIDITransportTest::open_usesPlatformNames()
{
    QFETCH(DJPlatform, platform);
    QFETCH(QString, client);
    QFETCH(QString, source);

    const auto [transport, log] = RecordingMIDIOutput::transport(platform);
    QCOMPARE(transport->platform(), platform);
    QCOMPARE(log->clientName(), client);
    QCOMPARE(log->sourceName(), source);
    QCOMPARE(transport->startupError(), std::nullopt);
}

void MIDITransportTest::pulse_releasesNoteAfterHoldTime_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<int>("holdMs");

    QTest::newRow("serato") << DJPlatform::serato << 70;
    QTest::newRow("virtualdj") << DJPlatform::virtualDJ << 250;
}

void MIDITransportTest::pulse_releasesNoteAfterHoldTime()
{
    QFETCH(DJPlatform, platform);
    QFETCH(int, holdMs);

    const auto [transport, log] = RecordingMIDIOutput::transport(platform);
    transport->pulse(transport->note(RemoteCommand::pause, DeckSide::right));

    QVERIFY(log->waitForCount(2));
    const auto messages = log->messages();
    const std::uint8_t note = platform == DJPlatform::serato ? 84 : 85;
    QCOMPARE(messages[0].bytes, (Bytes{0x9F, note, 127}));
    QCOMPARE(messages[1].bytes, (Bytes{0x8F, note, 0}));
    QVERIFY(messages[1].time - messages[0].time >= std::chrono::milliseconds(holdMs));
}

void MIDITransportTest::pulse_sameNoteTwice_overlaps()
{
    const auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::virtualDJ);
    transport->pulse(82);
    transport->pulse(82);

    QVERIFY(log->waitForCount(4));
    QCOMPARE(log->bytes(),
             (std::vector<Bytes>{{0x9F, 82, 127}, {0x9F, 82, 127}, {0x8F, 82, 0}, {0x8F, 82, 0}}));
}

void MIDITransportTest::setControlChange_clampsValueAndSendsNothingElse()
{
    const auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::serato);
    transport->setControlChange(20, 200);
    transport->setControlChange(21, 127);
    transport->setControlChange(21, 0);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport,
                                                    MIDITransport::holdTime(DJPlatform::serato) + 20ms));
    QCOMPARE(log->bytes(), (std::vector<Bytes>{{0xBF, 20, 127}, {0xBF, 21, 127}, {0xBF, 21, 0}}));
}

void MIDITransportTest::send_dropsNumbersThatAreNotMIDIData()
{
    // A data byte above 127 would read as a status byte and garble what the DJ software parses.
    const auto [transport, log] = RecordingMIDIOutput::transport(DJPlatform::serato);
    transport->pulse(128);
    transport->setControlChange(200, 10);
    transport->pulse(127);

    QVERIFY(log->waitForCount(2));
    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport,
                                                    MIDITransport::holdTime(DJPlatform::serato) + 20ms));
    QCOMPARE(log->bytes(), (std::vector<Bytes>{{0x9F, 127, 127}, {0x8F, 127, 0}}));
}

void MIDITransportTest::startupError_namesSystemStepAndCode_data()
{
    QTest::addColumn<DJPlatform>("platform");
    QTest::addColumn<MIDIOpenFailure>("failure");
    QTest::addColumn<QString>("message");

    using Stage = MIDIOpenFailure::Stage;
    QTest::newRow("alsa client") << DJPlatform::serato << MIDIOpenFailure{u"ALSA"_s, Stage::client, -2}
                                 << u"ALSA could not start (error -2)."_s;
    QTest::newRow("jack client") << DJPlatform::virtualDJ << MIDIOpenFailure{u"JACK"_s, Stage::client, 17}
                                 << u"JACK could not start (error 17)."_s;
    QTest::newRow("coremidi client") << DJPlatform::serato
                                     << MIDIOpenFailure{u"CoreMIDI"_s, Stage::client, -10830}
                                     << u"CoreMIDI could not start (error -10830)."_s;
    QTest::newRow("serato source")
        << DJPlatform::serato << MIDIOpenFailure{u"JACK"_s, Stage::source, 8}
        << u"The Serato DJ Pro virtual MIDI source could not be created (error 8)."_s;
    QTest::newRow("virtualdj source")
        << DJPlatform::virtualDJ << MIDIOpenFailure{u"ALSA"_s, Stage::source, -12}
        << u"The VirtualDJ virtual MIDI source could not be created (error -12)."_s;
}

void MIDITransportTest::startupError_namesSystemStepAndCode()
{
    QFETCH(DJPlatform, platform);
    QFETCH(MIDIOpenFailure, failure);
    QFETCH(QString, message);

    QCOMPARE(MIDITransport::startupErrorMessage(platform, failure), message);
    const auto [transport, log] = RecordingMIDIOutput::transport(platform, failure);
    QCOMPARE(transport->startupError(), std::optional<QString>(message));
}

void MIDITransportTest::failedOpen_dropsEveryMessage()
{
    const auto [transport, log] =
        RecordingMIDIOutput::transport(DJPlatform::virtualDJ, MIDIOpenFailure{u"JACK"_s, {}, 17});
    transport->pulse(80);
    transport->setControlChange(20, 64);

    QVERIFY(RecordingMIDIOutput::waitForTimerThread(*transport,
                                                    MIDITransport::holdTime(DJPlatform::virtualDJ) + 20ms));
    QCOMPARE(log->count(), std::size_t(0));
    QCOMPARE(transport->startupError(), std::optional<QString>(u"JACK could not start (error 17)."_s));
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
        if (std::chrono::steady_clock::now() - pulsed >= MIDITransport::holdTime(DJPlatform::virtualDJ))
            continue;

        // The pending note-off holds the transport only weakly, so it is gone at once and sends nothing.
        QVERIFY(released.expired());
        QTest::qWait(400);
        QCOMPARE(log->bytes(), (std::vector<Bytes>{{0x9F, 86, 127}}));
        return;
    }
    QSKIP("the machine never released the transport within the hold time");
}

QTEST_GUILESS_MAIN(MIDITransportTest)
#include "tst_miditransport.moc"
