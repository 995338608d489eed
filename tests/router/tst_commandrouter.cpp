#include "routerharness.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>
#include <set>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QRegularExpression kTokenPattern(u"^[0-9A-F]{32}$"_s);
const QRegularExpression kCodePattern(u"^[0-9]{6}$"_s);

QStringList storedTokens(const RouterHarness &harness)
{
    return harness.fixture.settings()->value(u"TarvikDJConnector.serato.pairedTokens"_s).toStringList();
}

} // namespace

class CommandRouterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void construction_freshStore_generatesAndStoresCode();
    void construction_storedCode_keptOnlyWithSixCharacters_data();
    void construction_storedCode_keptOnlyWithSixCharacters();
    void pair_acceptsOnlyTheTrimmedCode_data();
    void pair_acceptsOnlyTheTrimmedCode();
    void pair_twice_givesTwoTokensAndKeepsCode();
    void pair_storesTokensSortedOnDisk();
    void isAuthorized_refusesAbsentEmptyAndOtherCase();
    void resetPairing_revokesEveryDeviceAndPersists();
    void newRouter_onSameStore_readsPairingAndScript();
    void unwritableStore_keepsWorkingInMemory();
    void updateWeddingScript_trimsOuterBlanksOnly();
    void updateWeddingScript_revisionOnlyGrows();
    void updateWeddingScript_notifiesEvenWhenUnchanged();
    void platforms_keepSeparatePairingAndScript();
    void notify_reachesMainThreadInCallOrder();
    void notify_releasedRouter_deliversNothing();
    void concurrentCallers_loseNoTokenOrRevision();
};

void CommandRouterTest::construction_freshStore_generatesAndStoresCode()
{
    RouterHarness harness;
    const QString code = harness.router->pairingCode();
    QVERIFY2(kCodePattern.match(code).hasMatch(), qPrintable(code));
    QVERIFY(harness.storedBytes().contains("TarvikDJConnector.serato.pairingCode=" + code.toLatin1()));
    QCOMPARE(harness.router->pairedDeviceCount(), 0);
    QCOMPARE(harness.router->weddingScriptSnapshot().text, QString());
    QCOMPARE(harness.router->weddingScriptSnapshot().revision, 0);
    QCOMPARE(harness.router->expectedState(DeckSide::left), u"stopped"_s);
    QCOMPARE(harness.router->expectedVolume(DeckSide::right), 100);
    QCOMPARE(harness.router->platform(), DJPlatform::serato);
}

void CommandRouterTest::construction_storedCode_keptOnlyWithSixCharacters_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("kept");

    QTest::newRow("five digits") << u"12345"_s << false;
    QTest::newRow("seven digits") << u"1234567"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("six digits") << u"004711"_s << true;
    QTest::newRow("six characters, not digits") << u"AB-C d"_s << true;
}

void CommandRouterTest::construction_storedCode_keptOnlyWithSixCharacters()
{
    QFETCH(QString, stored);
    QFETCH(bool, kept);

    RouterHarness harness;
    harness.fixture.settings()->setValue(u"TarvikDJConnector.serato.pairingCode"_s, stored);
    const QString code = harness.newRouter()->pairingCode();
    if (kept) {
        QCOMPARE(code, stored);
    } else {
        QVERIFY2(kCodePattern.match(code).hasMatch(), qPrintable(code));
        QCOMPARE(harness.fixture.settings()->value(u"TarvikDJConnector.serato.pairingCode"_s).toString(),
                 code);
    }
}

void CommandRouterTest::pair_acceptsOnlyTheTrimmedCode_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("codeLength");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("exact") << QString() << QString() << 6 << true;
    QTest::newRow("spaces before, line break after") << u"  "_s << u"\n"_s << 6 << true;
    QTest::newRow("tab and CRLF") << u"\t"_s << u"\r\n"_s << 6 << true;
    QTest::newRow("first five characters") << QString() << QString() << 5 << false;
    QTest::newRow("an extra digit") << QString() << u"0"_s << 6 << false;
    QTest::newRow("inner space") << QString() << u" 1"_s << 6 << false;
    QTest::newRow("empty") << QString() << QString() << 0 << false;
}

void CommandRouterTest::pair_acceptsOnlyTheTrimmedCode()
{
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(int, codeLength);
    QFETCH(bool, accepted);

    RouterHarness harness;
    const QString code = harness.router->pairingCode();
    const std::optional<QString> token = harness.router->pair(prefix + code.left(codeLength) + suffix);
    QCOMPARE(token.has_value(), accepted);
    QCOMPARE(harness.router->pairedDeviceCount(), accepted ? 1 : 0);
    QCOMPARE(harness.router->pairingCode(), code);
    if (token)
        QVERIFY(harness.router->isAuthorized(token));
}

void CommandRouterTest::pair_twice_givesTwoTokensAndKeepsCode()
{
    RouterHarness harness;
    const QString code = harness.router->pairingCode();
    const std::optional<QString> first = harness.router->pair(code);
    const std::optional<QString> second = harness.router->pair(code);
    QVERIFY(first && second);
    QVERIFY(*first != *second);
    for (const QString &token : {*first, *second})
        QVERIFY2(kTokenPattern.match(token).hasMatch(), qPrintable(token));
    QCOMPARE(harness.router->pairedDeviceCount(), 2);
    QCOMPARE(harness.router->pairingCode(), code);
    QVERIFY(harness.router->isAuthorized(first));
    QVERIFY(harness.router->isAuthorized(second));
}

void CommandRouterTest::pair_storesTokensSortedOnDisk()
{
    RouterHarness harness;
    QStringList issued;
    for (int device = 0; device < 6; ++device)
        issued << *harness.router->pair(harness.router->pairingCode());

    QStringList sorted = issued;
    sorted.sort();
    QCOMPARE(storedTokens(harness), sorted);
    // Synced before pair() returned: every token is already in the file.
    const QByteArray onDisk = harness.storedBytes();
    for (const QString &token : issued)
        QVERIFY(onDisk.contains(token.toLatin1()));
}

void CommandRouterTest::isAuthorized_refusesAbsentEmptyAndOtherCase()
{
    RouterHarness harness;
    const QString token = *harness.router->pair(harness.router->pairingCode());
    QVERIFY(harness.router->isAuthorized(token));
    QVERIFY(!harness.router->isAuthorized(std::nullopt));
    QVERIFY(!harness.router->isAuthorized(QString()));
    QVERIFY(!harness.router->isAuthorized(token.toLower()));
    QVERIFY(!harness.router->isAuthorized(token + u" "_s));
}

void CommandRouterTest::resetPairing_revokesEveryDeviceAndPersists()
{
    RouterHarness harness;
    QStringList messages;
    harness.router->setOnStateChange([&messages](const QString &message) { messages << message; });
    const QString oldCode = harness.router->pairingCode();
    const QString first = *harness.router->pair(oldCode);
    const QString second = *harness.router->pair(oldCode);
    harness.router->updateWeddingScript(u"Entrance"_s);

    const QString newCode = harness.router->resetPairing();
    QCOMPARE(harness.router->pairingCode(), newCode);
    QVERIFY(kCodePattern.match(newCode).hasMatch());
    QVERIFY(!harness.router->isAuthorized(first));
    QVERIFY(!harness.router->isAuthorized(second));
    QCOMPARE(harness.router->pairedDeviceCount(), 0);
    QVERIFY(harness.fixture.settings()->contains(u"TarvikDJConnector.serato.pairedTokens"_s));
    QCOMPARE(storedTokens(harness), QStringList());
    QVERIFY(harness.storedBytes().contains("TarvikDJConnector.serato.pairingCode=" + newCode.toLatin1()));
    QVERIFY(!harness.storedBytes().contains(first.toLatin1()));
    // The script is not part of pairing.
    QCOMPARE(harness.router->weddingScriptSnapshot().text, u"Entrance"_s);
    QTRY_COMPARE(messages.size(), 2);
    QCOMPARE(messages.last(), u"SERATO pairing reset. Existing devices must pair again."_s);
}

void CommandRouterTest::newRouter_onSameStore_readsPairingAndScript()
{
    RouterHarness harness;
    const QString code = harness.router->pairingCode();
    const QString token = *harness.router->pair(code);
    harness.clock->set(1'800'000'000'123);
    const qint64 revision = harness.router->updateWeddingScript(u"First dance\n[CUE] Cake"_s);
    harness.router->handle(RemoteCommand::play, DeckSide::left);
    harness.router->handleVolume(50, DeckSide::left);

    const std::shared_ptr<CommandRouter> restarted = harness.newRouter();
    QCOMPARE(restarted->pairingCode(), code);
    QVERIFY(restarted->isAuthorized(token));
    QCOMPARE(restarted->pairedDeviceCount(), 1);
    QCOMPARE(restarted->weddingScriptSnapshot().text, u"First dance\n[CUE] Cake"_s);
    QCOMPARE(restarted->weddingScriptSnapshot().revision, revision);
    // Deck expectations live only in memory.
    QCOMPARE(restarted->expectedState(DeckSide::left), u"stopped"_s);
    QCOMPARE(restarted->expectedVolume(DeckSide::left), 100);
}

void CommandRouterTest::unwritableStore_keepsWorkingInMemory()
{
    // A store that cannot be written is not reported, but must not take pairing down with it.
    TestFixture fixture;
    const QString blocker = fixture.writeFile(u"not-a-folder"_s, "x");
    auto settings = std::make_shared<QSettings>(blocker + u"/settings.ini"_s, QSettings::IniFormat);
    const auto midi = RecordingMIDIOutput::transport(DJPlatform::virtualDJ);
    const auto router = std::make_shared<CommandRouter>(DJPlatform::virtualDJ, midi.transport, settings);

    const std::optional<QString> token = router->pair(router->pairingCode());
    QVERIFY(token);
    QVERIFY(router->isAuthorized(token));
    QVERIFY(router->updateWeddingScript(u"Toast"_s) > 0);
    QCOMPARE(router->weddingScriptSnapshot().text, u"Toast"_s);
    QVERIFY(!router->resetPairing().isEmpty());
    QCOMPARE(settings->status(), QSettings::AccessError);
}

void CommandRouterTest::updateWeddingScript_trimsOuterBlanksOnly()
{
    RouterHarness harness;
    harness.clock->set(1'790'000'000'500);
    const qint64 revision = harness.router->updateWeddingScript(u"   Entrance  \n  [CUE] First dance   \n"_s);
    QCOMPARE(revision, 1'790'000'000'500);
    const WeddingScriptSnapshot snapshot = harness.router->weddingScriptSnapshot();
    QCOMPARE(snapshot.text, u"Entrance  \n  [CUE] First dance"_s);
    QCOMPARE(snapshot.revision, revision);
    const auto stored = harness.fixture.settings();
    QCOMPARE(stored->value(u"TarvikDJConnector.serato.weddingScript"_s).toString(), snapshot.text);
    QCOMPARE(stored->value(u"TarvikDJConnector.serato.scriptRevision"_s).toLongLong(), revision);
    QVERIFY(harness.storedBytes().contains("1790000000500"));

    QVERIFY(harness.router->updateWeddingScript(u" \n\t "_s) > revision);
    QCOMPARE(harness.router->weddingScriptSnapshot().text, QString());
}

void CommandRouterTest::updateWeddingScript_revisionOnlyGrows()
{
    RouterHarness harness;
    const qint64 now = harness.clock->nowMSecsSinceEpoch();
    const qint64 first = harness.router->updateWeddingScript(u"a"_s);
    QCOMPARE(first, now);
    // Same millisecond: one more.
    QCOMPARE(harness.router->updateWeddingScript(u"b"_s), now + 1);
    // Time went on: the clock wins.
    harness.clock->advance(5'000);
    QCOMPARE(harness.router->updateWeddingScript(u"c"_s), now + 5'000);
    // The clock went back (or the stored revision lies in the future): one more than stored.
    harness.clock->set(now - 60'000);
    QCOMPARE(harness.router->updateWeddingScript(u"d"_s), now + 5'001);

    // A revision stored at the very top stays there instead of overflowing.
    harness.fixture.settings()->setValue(u"TarvikDJConnector.serato.scriptRevision"_s,
                                         std::numeric_limits<qint64>::max());
    const std::shared_ptr<CommandRouter> router = harness.newRouter();
    QCOMPARE(router->updateWeddingScript(u"e"_s), std::numeric_limits<qint64>::max());
}

void CommandRouterTest::updateWeddingScript_notifiesEvenWhenUnchanged()
{
    RouterHarness harness(DJPlatform::virtualDJ);
    QStringList messages;
    harness.router->setOnStateChange([&messages](const QString &message) { messages << message; });
    const qint64 first = harness.router->updateWeddingScript(u"Same"_s);
    const qint64 second = harness.router->updateWeddingScript(u"Same "_s);
    QVERIFY(second > first);
    const QString message = u"VIRTUALDJ wedding script updated for paired devices."_s;
    QTRY_COMPARE(messages, (QStringList{message, message}));
}

void CommandRouterTest::platforms_keepSeparatePairingAndScript()
{
    RouterHarness serato;
    const auto midi = RecordingMIDIOutput::transport(DJPlatform::virtualDJ);
    const auto virtualDJ = std::make_shared<CommandRouter>(DJPlatform::virtualDJ, midi.transport,
                                                           serato.fixture.settings(), nullptr, serato.clock);
    const QString token = *serato.router->pair(serato.router->pairingCode());
    serato.router->updateWeddingScript(u"Serato script"_s);

    QVERIFY(!virtualDJ->isAuthorized(token));
    QCOMPARE(virtualDJ->weddingScriptSnapshot().text, QString());
    QVERIFY(serato.storedBytes().contains("TarvikDJConnector.virtualDJ.pairingCode="));
}

void CommandRouterTest::notify_reachesMainThreadInCallOrder()
{
    RouterHarness harness;
    QStringList messages;
    bool allOnMainThread = true;
    harness.router->setOnStateChange([&](const QString &message) {
        allOnMainThread =
            allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        messages << message;
    });

    std::thread caller([&harness] {
        harness.router->handle(RemoteCommand::play, DeckSide::left);
        harness.router->handle(RemoteCommand::pause, DeckSide::left);
        harness.router->handleVolume(75, DeckSide::right);
        harness.router->updateWeddingScript(u"x"_s);
        harness.router->handle(RemoteCommand::load, DeckSide::right);
        harness.router->resetPairing();
    });
    caller.join();

    QTRY_COMPARE(messages.size(), 6);
    QCOMPARE(messages,
             (QStringList{
                 u"Play sent to SERATO left deck."_s,
                 u"Pause sent to SERATO left deck."_s,
                 u"Set Serato music level to 75 percent."_s,
                 u"SERATO wedding script updated for paired devices."_s,
                 u"Loaded the highlighted track onto the SERATO right deck without starting playback."_s,
                 u"SERATO pairing reset. Existing devices must pair again."_s,
             }));
    QVERIFY(allOnMainThread);
}

void CommandRouterTest::notify_releasedRouter_deliversNothing()
{
    RouterHarness harness;
    int delivered = 0;
    harness.router->setOnStateChange([&delivered](const QString &) { ++delivered; });
    harness.router->handle(RemoteCommand::stop, DeckSide::left);
    harness.router->resetPairing();
    harness.router.reset();

    QCoreApplication::sendPostedEvents();
    QCOMPARE(delivered, 0);
}

void CommandRouterTest::concurrentCallers_loseNoTokenOrRevision()
{
    RouterHarness harness;
    const QString code = harness.router->pairingCode();
    constexpr int kThreads = 8;
    constexpr int kRounds = 60;
    std::vector<QStringList> tokens(kThreads);
    std::vector<std::vector<qint64>> revisions(kThreads);
    std::atomic<int> refused = 0;

    std::vector<std::thread> callers;
    for (int thread = 0; thread < kThreads; ++thread) {
        callers.emplace_back([&, thread] {
            CommandRouter &router = *harness.router;
            for (int round = 0; round < kRounds; ++round) {
                const std::optional<QString> token = router.pair(u" "_s + code);
                if (!token || !router.isAuthorized(token))
                    ++refused;
                else
                    tokens[thread] << *token;
                const auto deck = (round + thread) % 2 ? DeckSide::left : DeckSide::right;
                router.handle(kAllRemoteCommands[(round * 7 + thread) % kAllRemoteCommands.size()], deck);
                router.handleVolume(25 * (1 + round % 4), deck);
                router.expectedState(deck);
                router.pairedDeviceCount();
                if (round % 5 == 0)
                    revisions[thread].push_back(router.updateWeddingScript(u"Round %1"_s.arg(round)));
                router.weddingScriptSnapshot();
            }
        });
    }
    for (std::thread &caller : callers)
        caller.join();

    QCOMPARE(refused.load(), 0);
    std::set<QString> allTokens;
    for (const QStringList &issued : tokens)
        allTokens.insert(issued.cbegin(), issued.cend());
    QCOMPARE(allTokens.size(), std::size_t(kThreads * kRounds));
    QCOMPARE(harness.router->pairedDeviceCount(), kThreads * kRounds);
    QCOMPARE(storedTokens(harness).size(), qsizetype(kThreads * kRounds));

    std::set<qint64> allRevisions;
    for (const std::vector<qint64> &issued : revisions)
        allRevisions.insert(issued.cbegin(), issued.cend());
    QCOMPARE(allRevisions.size(), std::size_t(kThreads * (kRounds / 5)));
    QCOMPARE(harness.router->weddingScriptSnapshot().revision, *allRevisions.rbegin());

    const std::shared_ptr<CommandRouter> restarted = harness.newRouter();
    for (const QString &token : allTokens)
        QVERIFY(restarted->isAuthorized(token));
}

QTEST_GUILESS_MAIN(CommandRouterTest)
#include "tst_commandrouter.moc"
