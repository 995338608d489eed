#include "midi/notemap.h"
#include "router/commandrouter.h"
#include "support/recordingmidioutput.h"
#include "support/testfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <limits>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

Q_DECLARE_METATYPE(DJPlatform)
Q_DECLARE_METATYPE(RemoteCommand)

namespace {

const QRegularExpression kCodePattern(u"^[0-9]{6}$"_s);

// A router on a recording MIDI output, a settings file in a temporary folder and a fake clock.
struct Harness
{
    explicit Harness(DJPlatform platform = DJPlatform::serato)
        : platform(platform)
    {}

    // Another router on the same store, as after a restart.
    std::shared_ptr<CommandRouter> newRouter() const
    {
        return std::make_shared<CommandRouter>(platform, midi.transport, fixture.settings(), nullptr, clock);
    }

    // Brings the deck from "stopped" to the given state; returns once the pulses for it are out.
    bool bring(DeckSide deck, const QString &state) const
    {
        if (state != u"stopped"_s)
            router->handle(RemoteCommand::play, deck);
        if (state == u"paused"_s)
            router->handle(RemoteCommand::pause, deck);
        return midi.log->waitForCount(state == u"stopped"_s ? 0 : state == u"paused"_s ? 4 : 2);
    }

    // The first message sent from the `before`th on, or none.
    Bytes sentAt(std::size_t before) const
    {
        const std::vector<Bytes> sent = midi.log->bytes();
        return sent.size() > before ? sent[before] : Bytes{};
    }

    DJPlatform platform;
    TestFixture fixture;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    RecordingMIDIOutput::Recorded midi = RecordingMIDIOutput::transport(platform);
    std::shared_ptr<CommandRouter> router = newRouter();
};

Bytes noteOn(int note)
{
    return note ? Bytes{0x9F, std::uint8_t(note), 127} : Bytes{};
}

} // namespace

class CommandRouterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handle_followsDeckStateMachineAndReports_data()
    {
        // Serato rows drive the left deck and VirtualDJ rows the right, so every name appears. A row with a
        // report has the DJ software report the deck first, and the phone then taps play.
        QTest::addColumn<DJPlatform>("platform");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("report");   // "on", "off", or empty for none
        QTest::addColumn<QString>("reported"); // the state after the report, then its message if announced
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<int>("note");       // switched on at once; 0 for nothing sent
        QTest::addColumn<QString>("result"); // the state, then the message
        using C = RemoteCommand;
        const auto S = DJPlatform::serato, V = DJPlatform::virtualDJ;
        const QString next = u"playing Advanced and started the next prepared song on "_s;
        const QString load = u"stopped Loaded the highlighted track onto the VIRTUALDJ right deck without "
                             u"starting playback."_s;
        const auto add = [](const char *name, DJPlatform platform, const char *from, RemoteCommand command,
                            int note, const QString &result) {
            QTest::newRow(name) << platform << QString::fromLatin1(from) << QString() << QString() << command
                                << note << result;
        };
        add("stopped play", S, "stopped", C::play, 80, u"playing Play sent to SERATO left deck."_s);
        add("stopped pause", V, "stopped", C::pause, 0,
            u"stopped Right deck was already marked as paused."_s);
        add("stopped advance", S, "stopped", C::advance, 82, next + u"SERATO left deck."_s);
        add("stopped stop", S, "stopped", C::stop, 83, u"stopped Stop/Cue sent to SERATO left deck."_s);
        add("stopped load", V, "stopped", C::load, 89, load);
        add("paused play", V, "paused", C::play, 84, u"playing Play sent to VIRTUALDJ right deck."_s);
        add("paused pause", S, "paused", C::pause, 0, u"paused Left deck was already marked as paused."_s);
        add("paused play-next", S, "paused", C::playNext, 82, next + u"SERATO left deck."_s);
        add("paused stop", V, "paused", C::stop, 87, u"stopped Stop/Cue sent to VIRTUALDJ right deck."_s);
        add("playing play", S, "playing", C::play, 0, u"playing Left deck was already marked as playing."_s);
        add("playing pause, play note", S, "playing", C::pause, 80,
            u"paused Pause sent to SERATO left deck."_s);
        add("playing pause, own note", V, "playing", C::pause, 85,
            u"paused Pause sent to VIRTUALDJ right deck."_s);
        add("playing advance, stop first", S, "playing", C::advance, 83, next + u"SERATO left deck."_s);
        add("playing play-next", V, "playing", C::playNext, 86, next + u"VIRTUALDJ right deck."_s);
        add("playing load", V, "playing", C::load, 89, load);
        const auto report = [](const char *name, DJPlatform platform, const char *from, const char *report,
                               const QString &reported, int note) {
            const bool serato = platform == DJPlatform::serato;
            const QString played =
                note ? u"Play sent to %1 deck."_s.arg(serato ? u"SERATO left"_s : u"VIRTUALDJ right"_s)
                     : (serato ? u"Left"_s : u"Right"_s) + u" deck was already marked as playing."_s;
            QTest::newRow(name) << platform << QString::fromLatin1(from) << QString::fromLatin1(report)
                                << reported << RemoteCommand::play << note << u"playing "_s + played;
        };
        report("started on the computer", S, "stopped", "on",
               u"playing SERATO reports the left deck playing."_s, 0);
        report("stopped on the computer", S, "playing", "off",
               u"paused SERATO reports the left deck not playing."_s, 80);
        report("resumed on the computer", V, "paused", "on",
               u"playing VIRTUALDJ reports the right deck playing."_s, 0);
        report("echo of play", V, "playing", "on", u"playing"_s, 0);
        report("echo of pause", S, "paused", "off", u"paused"_s, 80);
        report("stopped deck reported idle", V, "stopped", "off", u"stopped"_s, 84);
    }

    void handle_followsDeckStateMachineAndReports()
    {
        QFETCH(DJPlatform, platform);
        QFETCH(QString, from);
        QFETCH(QString, report);
        QFETCH(QString, reported);
        QFETCH(RemoteCommand, command);
        QFETCH(int, note);
        QFETCH(QString, result);
        const DeckSide deck = platform == DJPlatform::serato ? DeckSide::left : DeckSide::right;
        const DeckSide other = deck == DeckSide::left ? DeckSide::right : DeckSide::left;
        Harness harness(platform);
        harness.router->listenToDeckReports();
        QStringList messages;
        harness.router->setOnStateChange([&messages](const QString &message) { messages << message; });
        // Once the set-up pulses are out, a pulse or an advance's first step is the next message.
        QVERIFY(harness.bring(deck, from));
        if (!report.isEmpty()) {
            QCoreApplication::processEvents();
            messages.clear();
            QVERIFY(!harness.router->deckStateReported());
            // Off is sent either way by the DJ software; the other deck's report must not touch this deck.
            const std::uint8_t playNote = NoteMap::note(platform, RemoteCommand::play, deck);
            harness.midi.input->send({0x9F, NoteMap::note(platform, RemoteCommand::play, other), 127});
            harness.midi.input->send({std::uint8_t(report == u"on"_s ? 0x9F : 0x8F), playNote,
                                      std::uint8_t(report == u"on"_s ? 127 : 64)});
            // The report reaches the router on the main thread, and its message one hop later.
            QTRY_VERIFY(harness.router->deckStateReported());
            QCoreApplication::processEvents();
            const QStringList seen = QStringList{harness.router->expectedState(deck)}
                                     + messages.filter(u" "_s + rawValue(deck) + u" deck"_s);
            QCOMPARE(seen.join(u' '), reported);
        }
        const std::size_t before = harness.midi.log->count();
        const CommandResult answer = harness.router->handle(command, deck);
        QCOMPARE(harness.sentAt(before), noteOn(note));
        QCOMPARE(answer.expectedState + u' ' + answer.message, result);
        QCOMPARE(harness.router->expectedState(deck), answer.expectedState);
        QVERIFY(answer.ok && answer.commandID != harness.router->handle(command, deck).commandID);
    }

    void stateRequests_everyTenSecondsWhileVirtualDJRunsUnreported()
    {
        // Serato DJ Pro has no such request. VirtualDJ is asked at once, and again 10 seconds later unless
        // it has reported; seeing it start again in between does not ask early.
        Harness serato, waiting(DJPlatform::virtualDJ), answering(DJPlatform::virtualDJ);
        answering.router->listenToDeckReports();
        for (Harness *harness : {&serato, &waiting, &answering})
            harness->router->setDJSoftwareRunning(true);
        QVERIFY(waiting.midi.log->waitForCount(2) && answering.midi.log->waitForCount(2));
        waiting.router->setDJSoftwareRunning(false);
        waiting.router->setDJSoftwareRunning(true);
        answering.midi.input->send({0x9F, 84, 0});
        QTRY_VERIFY(answering.router->deckStateReported());

        QVERIFY(waiting.midi.log->waitForCount(4, 15s));
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*waiting.midi.transport, 500ms));
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*answering.midi.transport, 500ms));
        const std::vector<Bytes> request{{0x9F, 90, 127}, {0x8F, 90, 0}};
        QCOMPARE(answering.midi.log->bytes(), request);
        QCOMPARE(waiting.midi.log->bytes(),
                 (std::vector<Bytes>{request[0], request[1], request[0], request[1]}));
        const std::vector<MIDIMessageLog::Message> sent = waiting.midi.log->messages();
        QVERIFY(sent[2].time - sent[0].time >= 10s);
        QCOMPARE(serato.midi.log->count(), std::size_t(0));
    }

    void volumeAndAdvance_sendTheirMessagesInTime()
    {
        // Serato's one music level moves both decks; VirtualDJ only the deck asked for.
        Harness serato, virtualDJ(DJPlatform::virtualDJ);
        QCOMPARE(serato.router->handleVolume(25, DeckSide::right)->message,
                 u"Set Serato music level to 25 percent."_s);
        QCOMPARE(virtualDJ.router->handleVolume(50, DeckSide::left)->message,
                 u"Set VirtualDJ left deck volume to 50 percent."_s);
        QVERIFY(!serato.router->handleVolume(30, DeckSide::left));
        QCOMPARE(serato.router->expectedVolume(DeckSide::left), 25);
        QCOMPARE(virtualDJ.router->expectedVolume(DeckSide::right), 100);

        // On Serato an idle deck advances and plays, a playing one is stopped first; VirtualDJ takes one
        // pulse.
        serato.router->handle(RemoteCommand::advance, DeckSide::left);
        QVERIFY(serato.midi.log->waitForCount(5));
        serato.router->handle(RemoteCommand::advance, DeckSide::left);
        virtualDJ.router->handle(RemoteCommand::advance, DeckSide::left);
        for (const Harness *harness : {&serato, &virtualDJ})
            QVERIFY(RecordingMIDIOutput::waitForTimerThread(*harness->midi.transport, 700ms));
        QCOMPARE(virtualDJ.midi.log->bytes(),
                 (std::vector<Bytes>{{0xBF, 20, 64}, {0x9F, 82, 127}, {0x8F, 82, 0}}));
        std::vector<Bytes> expected{{0xBF, 21, 0}};
        for (const std::uint8_t note : {82, 80, 83, 82, 80})
            expected.insert(expected.end(), {{0x9F, note, 127}, {0x8F, note, 0}});
        QCOMPARE(serato.midi.log->bytes(), expected);
        // Each step waits for the previous one, never less.
        const std::vector<MIDIMessageLog::Message> sent = serato.midi.log->messages();
        QVERIFY(sent[3].time - sent[1].time >= 250ms);
        QVERIFY(sent[7].time - sent[5].time >= 120ms);
        QVERIFY(sent[9].time - sent[7].time >= 250ms);
    }

    void advance_releasedMidSequence_sendsNoLaterStep()
    {
        // Router, then router and transport; only a release before the advance step is due counts.
        int checked = 0;
        for (int attempt = 0; attempt < 10 && checked < 2; ++attempt) {
            const bool releaseTransport = checked == 1;
            Harness harness;
            int delivered = 0;
            harness.router->setOnStateChange([&delivered](const QString &) { ++delivered; });
            harness.router->handle(RemoteCommand::play, DeckSide::left);
            const auto advanced = std::chrono::steady_clock::now();
            harness.router->handle(RemoteCommand::advance, DeckSide::left);
            harness.router.reset();
            const std::weak_ptr<MIDITransport> transport = harness.midi.transport;
            if (releaseTransport)
                harness.midi.transport.reset();
            if (std::chrono::steady_clock::now() - advanced >= 120ms)
                continue;
            // Nothing pending kept either alive; the stop went out at once, nothing after it, and no
            // message reached the released router's callback.
            QCOMPARE(transport.expired(), releaseTransport);
            QTest::qWait(700);
            std::vector<Bytes> noteOns = harness.midi.log->bytes();
            std::erase_if(noteOns, [](const Bytes &bytes) { return bytes[0] != 0x9F; });
            QCOMPARE(noteOns, (std::vector<Bytes>{noteOn(80), noteOn(83)}));
            QCOMPARE(delivered, 0);
            ++checked;
        }
        if (checked < 2)
            QSKIP("the machine never released in time before the advance step was due");
    }

    void pairingAndScript_surviveRestartUntilReset()
    {
        Harness harness;
        const QString code = harness.router->pairingCode();
        QVERIFY2(kCodePattern.match(code).hasMatch(), qPrintable(code));
        QVERIFY(!harness.router->pair(code.left(5)) && !harness.router->pair(QString()));
        const QStringList tokens{harness.router->pair(u"  "_s + code + u"\r\n"_s).value_or(QString()),
                                 harness.router->pair(code).value_or(QString())};
        QVERIFY(!harness.router->isAuthorized(std::nullopt) && !harness.router->isAuthorized(QString()));
        // Trimmed as a whole; the same millisecond gives one more, a clock set back never less.
        const qint64 now = harness.clock->nowMSecsSinceEpoch();
        QCOMPARE(harness.router->updateWeddingScript(u"  First dance  \n  [CUE] Cake \n"_s), now);
        QCOMPARE(harness.router->updateWeddingScript(u"  First dance  \n  [CUE] Cake  "_s), now + 1);
        harness.clock->set(now - 60'000);

        const std::shared_ptr<CommandRouter> restarted = harness.newRouter();
        QCOMPARE(restarted->pairingCode(), code);
        QCOMPARE(restarted->pairedDeviceCount(), 2);
        for (const QString &token : tokens) {
            QVERIFY2(QRegularExpression(u"^[0-9A-F]{32}$"_s).match(token).hasMatch(), qPrintable(token));
            QVERIFY(restarted->isAuthorized(token) && !restarted->isAuthorized(token.toLower()));
        }
        QCOMPARE(restarted->weddingScriptSnapshot().text, u"First dance  \n  [CUE] Cake"_s);
        QCOMPARE(restarted->updateWeddingScript(u"x"_s), now + 2);

        const QString newCode = restarted->resetPairing();
        QVERIFY(kCodePattern.match(newCode).hasMatch());
        const std::shared_ptr<CommandRouter> again = harness.newRouter();
        QCOMPARE(again->pairingCode(), newCode);
        QCOMPARE(again->pairedDeviceCount(), 0);

        // A stored code that is not six characters is replaced, so a blank one cannot pair; a revision
        // stored at the very top stays there instead of wrapping to negative.
        harness.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairingCode"_s, QString());
        harness.fixture.settings()->setValue(u"TarvikDJConnector.serato.scriptRevision"_s,
                                             std::numeric_limits<qint64>::max());
        const std::shared_ptr<CommandRouter> repaired = harness.newRouter();
        QVERIFY(kCodePattern.match(repaired->pairingCode()).hasMatch() && !repaired->pair(QString()));
        QCOMPARE(repaired->updateWeddingScript(u"e"_s), std::numeric_limits<qint64>::max());
    }

    void concurrentCallers_loseNoTokenAndNotifyOnMainThread()
    {
        Harness harness;
        CommandRouter &router = *harness.router;
        int messages = 0;
        router.setOnStateChange([&messages](const QString &) {
            QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
            ++messages;
        });
        std::vector<QStringList> tokens(8);
        std::vector<std::thread> callers;
        for (QStringList &issued : tokens) {
            callers.emplace_back([&router, &issued, seed = callers.size()] {
                for (std::size_t round = 0; round < 60; ++round) {
                    if (const auto token = router.pair(router.pairingCode()); router.isAuthorized(token))
                        issued << *token;
                    const DeckSide deck = (round + seed) % 2 ? DeckSide::left : DeckSide::right;
                    router.handle(kAllRemoteCommands[(round + seed) % kAllRemoteCommands.size()], deck);
                    router.handleVolume(25 * int(1 + round % 4), deck);
                }
            });
        }
        for (std::thread &caller : callers)
            caller.join();
        QTRY_COMPARE(messages, 8 * 60 * 2);
        const std::shared_ptr<CommandRouter> restarted = harness.newRouter();
        QCOMPARE(restarted->pairedDeviceCount(), 8 * 60);
        for (const QStringList &issued : tokens) {
            QCOMPARE(issued.size(), 60);
            for (const QString &token : issued)
                QVERIFY(restarted->isAuthorized(token));
        }
    }

    void olderStore_loadsAndKeepsItsKeysAndFormats()
    {
        TestFixture fixture;
        const QStringList tokens{u"0123456789ABCDEF0123456789ABCDEF"_s,
                                 u"FEDCBA9876543210FEDCBA9876543210"_s};
        QVariantMap stored{{u"TarvikDJConnector.selectedPlatform"_s, u"virtualDJ"_s},
                           {u"TarvikDJConnector.virtualDJ.pairingCode"_s, u"654321"_s},
                           {u"TarvikDJConnector.serato.pairingCode"_s, u"012345"_s},
                           {u"TarvikDJConnector.serato.pairedTokens"_s, tokens},
                           {u"TarvikDJConnector.serato.weddingScript"_s, u"Vows\n[CUE] Cake"_s},
                           {u"TarvikDJConnector.serato.scriptRevision"_s, qint64(9'007'199'254'740'993)}};
        // Written by QSettings itself, as every earlier version wrote it.
        const auto writeWithQSettings = [&stored](const QString &path) {
            QSettings settings(path, QSettings::IniFormat);
            for (auto value = stored.cbegin(); value != stored.cend(); ++value)
                settings.setValue(value.key(), value.value());
        };
        writeWithQSettings(fixture.settingsFilePath());
        const auto router = std::make_shared<CommandRouter>(
            DJPlatform::serato, RecordingMIDIOutput::transport(DJPlatform::serato).transport,
            fixture.settings());
        QCOMPARE(router->pairingCode(), u"012345"_s);
        QVERIFY(router->isAuthorized(tokens[0]) && router->isAuthorized(tokens[1]));
        QCOMPARE(router->weddingScriptSnapshot().text, u"Vows\n[CUE] Cake"_s);

        // After a save the file reads exactly as QSettings would have written it, other keys included.
        QCOMPARE(router->updateWeddingScript(u"Toast"_s), 9'007'199'254'740'994);
        stored.insert(u"TarvikDJConnector.serato.weddingScript"_s, u"Toast"_s);
        stored.insert(u"TarvikDJConnector.serato.scriptRevision"_s, qint64(9'007'199'254'740'994));
        writeWithQSettings(fixture.path(u"expected.ini"_s));
        QFile written(fixture.settingsFilePath()), expected(fixture.path(u"expected.ini"_s));
        QVERIFY(written.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected.readAll());
    }

    // Regression: a store that could not be written was reported as saved.
    void unwritableStore_refusesScriptKeepsPairingAndWarnsOncePerChange()
    {
        TestFixture fixture;
        const QString folder = fixture.writeFile(u"not-a-folder"_s, "x");
        const auto settings = std::make_shared<QSettings>(folder + u"/settings.ini"_s, QSettings::IniFormat);
        const auto newRouter = [&] {
            return std::make_shared<CommandRouter>(
                DJPlatform::virtualDJ, RecordingMIDIOutput::transport(DJPlatform::virtualDJ).transport,
                settings);
        };
        const std::shared_ptr<CommandRouter> router = newRouter();
        int warningChanges = 0;
        router->setOnSettingsWarningChange([&warningChanges] { ++warningChanges; });
        const QString warning = u"Settings cannot be saved: "_s + folder
                                + u"/settings.ini. Pairings and the wedding script will be lost when the "
                                  u"connector stops."_s;
        QCOMPARE(router->settingsWarning(), warning);
        const std::optional<QString> token = router->pair(router->pairingCode());
        QVERIFY(router->isAuthorized(token));
        QVERIFY(!router->updateWeddingScript(u"Toast"_s));
        QCOMPARE(router->weddingScriptSnapshot().revision, 0);
        QCoreApplication::processEvents();
        QCOMPARE(warningChanges, 0);

        // Writable again: the next write clears the warning and saves what was kept in memory meanwhile.
        QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
        QVERIFY(router->updateWeddingScript(u"Toast"_s));
        QCOMPARE(router->settingsWarning(), QString());
        QTRY_COMPARE(warningChanges, 1);
        const std::shared_ptr<CommandRouter> restarted = newRouter();
        QCOMPARE(restarted->pairingCode(), router->pairingCode());
        QVERIFY(restarted->isAuthorized(token));
        QCOMPARE(restarted->weddingScriptSnapshot().text, u"Toast"_s);

        QVERIFY(QDir(folder).removeRecursively());
        fixture.writeFile(u"not-a-folder"_s, "x");
        QVERIFY(router->isAuthorized(router->pair(router->pairingCode())));
        QCOMPARE(router->settingsWarning(), warning);
        QTRY_COMPARE(warningChanges, 2);
    }
};

QTEST_GUILESS_MAIN(CommandRouterTest)
#include "tst_commandrouter.moc"
