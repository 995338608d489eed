#include "phoneroutedharness.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Bytes = MIDIMessageLog::Bytes;

// What the phone's commands and pairing make of the router: the notes the MIDI device receives, the
// paired devices' records, the wedding script, and the store behind them.
class CommandRouterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handle_followsDeckStateMachine()
    {
        // Serato drives the left deck and VirtualDJ the right: the deck's state, the command, the note
        // switched on at once (0 for nothing sent), then the state after it and the message. Advances are
        // followed to their end below.
        const auto S = DJPlatform::serato, V = DJPlatform::virtualDJ;
        using C = RemoteCommand;
        const std::tuple<DJPlatform, QLatin1StringView, RemoteCommand, std::uint8_t, QString> cases[] = {
            {S, "stopped"_L1, C::play, 80, u"playing Play sent to SERATO left deck."_s},
            {V, "stopped"_L1, C::pause, 0, u"stopped Right deck was already marked as paused."_s},
            {S, "stopped"_L1, C::stop, 83, u"stopped Stop/Cue sent to SERATO left deck."_s},
            {V, "stopped"_L1, C::load, 89,
             u"stopped Loaded the highlighted track onto the VIRTUALDJ right deck without starting "_s
             u"playback."_s},
            {S, "paused"_L1, C::playNext, 82,
             u"playing Advanced and started the next prepared song on SERATO left deck."_s},
            {S, "playing"_L1, C::play, 0, u"playing Left deck was already marked as playing."_s},
            {S, "playing"_L1, C::pause, 80, u"paused Pause sent to SERATO left deck."_s},
            {V, "playing"_L1, C::pause, 85, u"paused Pause sent to VIRTUALDJ right deck."_s}};
        for (const auto &[platform, from, command, note, result] : cases) {
            const DeckSide deck = platform == DJPlatform::serato ? DeckSide::left : DeckSide::right;
            PhoneRoutedHarness harness(platform);
            // Played, then paused, as the state asks; the command's first message follows their pulses.
            const qsizetype steps = QList{"stopped"_L1, "playing"_L1, "paused"_L1}.indexOf(from);
            for (const RemoteCommand step : QList{C::play, C::pause}.first(steps))
                harness.router->handle(step, deck);
            QVERIFY(harness.midi.log->waitForCount(2 * steps));
            const std::size_t before = harness.midi.log->count();
            const CommandResult answer = harness.router->handle(command, deck);
            const std::vector<Bytes> sent = harness.midi.log->bytes();
            QCOMPARE(sent.size() > before ? sent[before] : Bytes{},
                     (note ? Bytes{0x9F, note, 127} : Bytes{}));
            QCOMPARE(answer.expectedState + u' ' + answer.message, result);
            QCOMPARE(harness.router->expectedState(deck), answer.expectedState);
            QVERIFY(answer.ok && answer.commandID != harness.router->handle(command, deck).commandID);
        }
    }

    void reports_correctTheExpectationAndEndTheStateRequests()
    {
        // VirtualDJ is asked for its decks' state at once, and again 10 seconds later until it reports.
        PhoneRoutedHarness waiting(DJPlatform::virtualDJ), answering(DJPlatform::virtualDJ);
        for (PhoneRoutedHarness *harness : {&waiting, &answering})
            harness->router->setDJSoftwareRunning(true);
        QVERIFY(waiting.midi.log->waitForCount(2) && answering.midi.log->waitForCount(2));
        // A report corrects the expectation, announcing only a change.
        const auto report = [&answering](bool playing) {
            answering.router->reportDeckPlaying(DeckSide::right, playing);
            return (QStringList{answering.router->expectedState(DeckSide::right)} + answering.takeMessages())
                .join(u' ');
        };
        QCOMPARE(report(false), u"stopped"_s);
        QCOMPARE(report(true), u"playing VIRTUALDJ reports the right deck playing."_s);
        QCOMPARE(report(true), u"playing"_s);
        QCOMPARE(report(false), u"paused VIRTUALDJ reports the right deck not playing."_s);

        QVERIFY(waiting.midi.log->waitForCount(4, 15s));
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*waiting.midi.transport, 500ms));
        QVERIFY(RecordingMIDIOutput::waitForTimerThread(*answering.midi.transport, 500ms));
        const std::vector<Bytes> request{{0x9F, 90, 127}, {0x8F, 90, 0}};
        QCOMPARE(answering.midi.log->bytes(), request);
        QCOMPARE(waiting.midi.log->bytes(),
                 (std::vector<Bytes>{request[0], request[1], request[0], request[1]}));
        const std::vector<MIDIMessageLog::Message> sent = waiting.midi.log->messages();
        QVERIFY(sent[2].time - sent[0].time >= 10s);
    }

    void volumeAndAdvance_sendTheirMessagesInTime()
    {
        // Serato's one music level moves both decks, VirtualDJ's only one; Serato is never asked for state.
        PhoneRoutedHarness serato, virtualDJ(DJPlatform::virtualDJ);
        serato.router->setDJSoftwareRunning(true);
        QCOMPARE(serato.router->handleVolume(25, DeckSide::right)->message,
                 u"Set Serato music level to 25 percent."_s);
        QCOMPARE(virtualDJ.router->handleVolume(50, DeckSide::left)->message,
                 u"Set VirtualDJ left deck volume to 50 percent."_s);
        QVERIFY(!serato.router->handleVolume(30, DeckSide::left));
        QCOMPARE(serato.router->expectedVolume(DeckSide::left), 25);
        QCOMPARE(virtualDJ.router->expectedVolume(DeckSide::right), 100);

        // Serato: an idle deck advances and plays, a playing one stops first. VirtualDJ: one pulse.
        serato.router->handle(RemoteCommand::advance, DeckSide::left);
        QVERIFY(serato.midi.log->waitForCount(5));
        serato.router->handle(RemoteCommand::advance, DeckSide::left);
        virtualDJ.router->handle(RemoteCommand::advance, DeckSide::left);
        for (const PhoneRoutedHarness *harness : {&serato, &virtualDJ})
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
        // Only a release before the advance step is due counts.
        for (int attempt = 0; attempt < 10; ++attempt) {
            PhoneRoutedHarness harness;
            harness.router->handle(RemoteCommand::play, DeckSide::left);
            const auto advanced = std::chrono::steady_clock::now();
            harness.router->handle(RemoteCommand::advance, DeckSide::left);
            harness.api.reset();
            harness.router.reset();
            if (std::chrono::steady_clock::now() - advanced >= 120ms)
                continue;
            // The stop went out at once, then nothing, not even a message for the released router.
            QTest::qWait(700);
            std::vector<Bytes> noteOns = harness.midi.log->bytes();
            std::erase_if(noteOns, [](const Bytes &bytes) { return bytes[0] != 0x9F; });
            QCOMPARE(noteOns, (std::vector<Bytes>{{0x9F, 80, 127}, {0x9F, 83, 127}}));
            QCOMPARE(harness.takeMessages(), QStringList());
            return;
        }
        QSKIP("the machine never released in time before the advance step was due");
    }

    void concurrentCallers_loseNoTokenAndNotifyOnMainThread()
    {
        PhoneRoutedHarness harness;
        CommandRouter &router = *harness.router;
        int messages = 0;
        router.setOnStateChange([&messages](const QString &) {
            QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
            ++messages;
        });
        std::vector<std::jthread> callers;
        for (std::size_t seed = 0; seed < 8; ++seed) {
            callers.emplace_back([&router, seed] {
                for (std::size_t round = 0; round < 60; ++round) {
                    router.pair(router.pairingCode());
                    const DeckSide deck = (round + seed) % 2 ? DeckSide::left : DeckSide::right;
                    router.handle(kAllRemoteCommands[(round + seed) % kAllRemoteCommands.size()], deck);
                    router.handleVolume(25 * int(1 + round % 4), deck);
                }
            });
        }
        callers.clear(); // each joins
        QTRY_COMPARE(messages, 8 * 60 * 2);
        harness.restart();
        QCOMPARE(harness.router->pairedDeviceCount(), 8 * 60);
    }

    void pair_namesTheDeviceAndAnnouncesWrongCodesOncePerAddressEvery30Seconds()
    {
        PhoneRoutedHarness api;
        const std::tuple<std::optional<QString>, QString, QString> cases[] = {
            {PhoneRoutedHarness::kUserAgent, PhoneRoutedHarness::kPhone,
             u"Tarvik DJ Remote (192.168.1.23)"_s},
            {std::nullopt, u"fe80::1"_s, u"Unknown device (fe80::1)"_s},
            {u"(iPhone; iOS 17)"_s, u"10.0.0.2"_s, u"Unknown device (10.0.0.2)"_s},
            {u"Bad%07Na%0Ame%1B/1"_s, u"10.0.0.2"_s, u"BadName (10.0.0.2)"_s},
            {u"%00%0D%0A"_s, u"10.0.0.2"_s, u"Unknown device (10.0.0.2)"_s},
            {QString(100, u'x') + u"/1"_s, u"10.0.0.2"_s, QString(64, u'x') + u" (10.0.0.2)"_s}};
        for (const auto &[userAgent, peer, named] : cases) {
            api.pair(peer, userAgent);
            QCOMPARE(api.takeMessages(), QStringList{u"Paired "_s + named + u'.'});
        }

        const auto guess = [&api](const QString &peer = u"192.168.1.66"_s) {
            return api.answer(u"POST /api/pair"_s, R"({"code":"000000"})", {}, peer).status;
        };
        QCOMPARE(guess(), 403);
        QCOMPARE(guess(u"2001:db8::5"_s), 403);
        api.clock->advance(29'999);
        guess();
        QCOMPARE(api.takeMessages(), (QStringList{u"Wrong pairing code from 192.168.1.66."_s,
                                                  u"Wrong pairing code from 2001:db8::5."_s}));
        api.clock->advance(1);
        guess();
        QCOMPARE(api.takeMessages(), QStringList{u"Wrong pairing code from 192.168.1.66."_s});

        // The guess that starts the block is announced once, and the refusals after it are not.
        for (int attempt = 0; attempt < 12; ++attempt)
            QCOMPARE(guess(), 403);
        QCOMPARE(api.takeMessages(),
                 QStringList{
                     u"Pairing from 192.168.1.66 is blocked for 10 minutes after too many wrong codes."_s});
    }

    void records_surviveRestartBesideOlderTokensUntilForgottenOrReset()
    {
        // Paired by an older version: a token, no records; a stored code that is not six characters is
        // replaced, so a blank one cannot pair.
        const QString older = u"0123456789ABCDEF0123456789ABCDEF"_s;
        PhoneRoutedHarness api(DJPlatform::serato,
                               {{u"TarvikDJConnector.serato.pairedTokens"_s, QStringList{older}},
                                {u"TarvikDJConnector.serato.pairingCode"_s, QString()}});
        const QString code = api.router->pairingCode();
        QVERIFY2(QRegularExpression(u"^[0-9]{6}$"_s).match(code).hasMatch(), qPrintable(code));
        const QString token = api.pair();
        const qint64 pairedAt = api.clock->nowMSecsSinceEpoch(), seenAt = pairedAt + 5000;
        api.clock->advance(5000);
        QCOMPARE(api.poll(token), 200);
        QCOMPARE(api.answer(u"GET /api/status"_s, {}, older, u"192.168.1.77"_s).status, 200);
        api.restart();
        QCOMPARE(api.router->pairingCode(), code);
        QList<PairedDevice> expected{
            {deviceId(token), u"Tarvik DJ Remote"_s, u"192.168.1.23"_s, pairedAt, seenAt, u"192.168.1.23"_s},
            {deviceId(older), u"Unknown device"_s, {}, {}, seenAt, u"192.168.1.77"_s}};
        std::sort(expected.begin(), expected.end(), [](auto &a, auto &b) { return a.id < b.id; });
        QCOMPARE(api.router->pairedDevices(), expected);

        // Forgetting revokes that one device at once, saved before it returns.
        api.takeMessages();
        QVERIFY(api.router->forgetDevice(deviceId(older)) && !api.router->forgetDevice(deviceId(older)));
        QCOMPARE(api.takeMessages(),
                 QStringList{u"Forgot Unknown device (192.168.1.77). It must pair again."_s});
        QCOMPARE(api.poll(older), 401);
        QCOMPARE(api.poll(token), 200);
        QVERIFY(!api.newRouter()->isAuthorized(older));

        const QString newCode = api.router->resetPairing();
        api.restart();
        QCOMPARE(api.router->pairingCode(), newCode);
        QCOMPARE(api.router->pairedDeviceCount(), 0);
    }

    void polls_keepTheDeviceConnectedAndSaveLastSeenAtMostOnceAMinute()
    {
        PhoneRoutedHarness api;
        const QString token = api.pair();
        const auto connectedAfter = [&api](qint64 msecs) {
            api.clock->advance(msecs);
            return api.router->pairedDevices().value(0).connected(api.clock->nowMSecsSinceEpoch());
        };
        QVERIFY(!connectedAfter(0));
        // Every write replaces the whole file, so a file that comes back is one write.
        int writes = 0;
        QVERIFY(QFile::remove(api.fixture.settingsFilePath()));
        for (int poll = 0; poll < 100; ++poll) {
            QCOMPARE(api.poll(token), 200);
            QVERIFY(connectedAfter(1000));
            writes += QFile::remove(api.fixture.settingsFilePath()) ? 1 : 0;
        }
        QCOMPARE(writes, 1);
        // Connected until 10 seconds after the last request.
        QVERIFY(connectedAfter(PairedDevice::kConnectedMSecs - 1001));
        QVERIFY(!connectedAfter(1));
    }

    void olderStore_loadsAndKeepsItsKeysAndFormats()
    {
        const QStringList tokens{u"0123456789ABCDEF0123456789ABCDEF"_s,
                                 u"FEDCBA9876543210FEDCBA9876543210"_s};
        // Written by QSettings itself, as every earlier version wrote it.
        QVariantHash stored{{u"TarvikDJConnector.selectedPlatform"_s, u"virtualDJ"_s},
                            {u"TarvikDJConnector.virtualDJ.pairingCode"_s, u"654321"_s},
                            {u"TarvikDJConnector.serato.pairingCode"_s, u"012345"_s},
                            {u"TarvikDJConnector.serato.pairedTokens"_s, tokens},
                            {u"TarvikDJConnector.serato.weddingScript"_s, u"Vows\n[CUE] Cake"_s},
                            {u"TarvikDJConnector.serato.scriptRevision"_s, qint64(9'007'199'254'740'993)}};
        PhoneRoutedHarness harness(DJPlatform::serato, stored);
        QCOMPARE(harness.router->pairingCode(), u"012345"_s);
        QVERIFY(harness.router->isAuthorized(tokens[0]) && harness.router->isAuthorized(tokens[1]));
        QCOMPARE(harness.router->weddingScriptSnapshot().text, u"Vows\n[CUE] Cake"_s);

        // After a save the file reads exactly as QSettings would have written it, other keys included.
        // Beyond the clock the revision still grows by one; the log keeps it and the size, never the words.
        QString logged;
        harness.router->setOnActivity(
            [&logged](const QString &, const QString &message, const QString &) { logged = message; });
        QCOMPARE(harness.router->updateWeddingScript(u"Toast"_s), 9'007'199'254'740'994);
        QCOMPARE(logged, u"Wedding script saved: revision 9007199254740994, 5 bytes."_s);
        stored.insert(u"TarvikDJConnector.serato.weddingScript"_s, u"Toast"_s);
        stored.insert(u"TarvikDJConnector.serato.scriptRevision"_s, qint64(9'007'199'254'740'994));
        const TestFixture wanted;
        for (auto value = stored.cbegin(); value != stored.cend(); ++value)
            wanted.settings()->setValue(value.key(), value.value());
        QFile written(harness.fixture.settingsFilePath()), expected(wanted.settingsFilePath());
        QVERIFY(written.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected.readAll());
    }

    // Regression: a store that could not be written was reported as saved.
    void unwritableStore_refusesScriptKeepsPairingAndWarnsOncePerChange()
    {
        PhoneRoutedHarness harness;
        CommandRouter &router = *harness.router;
        int warningChanges = 0;
        router.setOnSettingsWarningChange([&warningChanges] { ++warningChanges; });
        // A folder where the file should be: nothing can replace it.
        const QString file = harness.fixture.settingsFilePath();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        const std::optional<QString> token = router.pair(router.pairingCode());
        QVERIFY(router.isAuthorized(token));
        QVERIFY(router.settingsWarning().startsWith(u"Settings cannot be saved: "_s + file + u". "_s));
        QVERIFY(!router.updateWeddingScript(u"Toast"_s));
        QCOMPARE(router.weddingScriptSnapshot().revision, 0);
        QTRY_COMPARE(warningChanges, 1);

        // Writable again: the next write clears the warning and saves what was kept in memory meanwhile.
        // A fresh store's revision is the time, so it stays above one from a store that was lost.
        QVERIFY(QDir().rmdir(file));
        QCOMPARE(router.updateWeddingScript(u"  Toast \n"_s), harness.clock->nowMSecsSinceEpoch());
        QCOMPARE(router.settingsWarning(), QString());
        QTRY_COMPARE(warningChanges, 2);
        const std::shared_ptr<CommandRouter> restarted = harness.newRouter();
        QCOMPARE(restarted->pairingCode(), router.pairingCode());
        QVERIFY(restarted->isAuthorized(token));
        QCOMPARE(restarted->weddingScriptSnapshot().text, u"Toast"_s);
    }
};

QTEST_GUILESS_MAIN(CommandRouterTest)
#include "tst_commandrouter.moc"
