#include "midi/miditransport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The real MIDI output where no MIDI system runs. Delivery over JACK is checked by tst_deckfeedback,
// which plays the DJ software on the other end.
class RtMidiOutputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noMIDISystem_reportsALSAAndStaysUp()
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
};

QTEST_GUILESS_MAIN(RtMidiOutputTest)
#include "tst_rtmidioutput.moc"
