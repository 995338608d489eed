#include "router/commandrouter.h"

#include "core/mainthread.h"
#include "core/wakeupsheldback.h"
#include "midi/notemap.h"
#include "router/deckcommands.h"
#include "router/devicename.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView kPairingCodeSuffix(".pairingCode");
constexpr QLatin1StringView kWeddingScriptSuffix(".weddingScript");
constexpr QLatin1StringView kScriptRevisionSuffix(".scriptRevision");

constexpr int kPairingCodeLength = 6;
constexpr qint64 kWrongCodeNoticeMSecs = 30 * 1000;
// Polling must not become a disk write per request.
constexpr qint64 kLastSeenSaveMSecs = 60 * 1000;
const QString kWindow = u"window"_s;

struct PendingPulse
{
    std::chrono::milliseconds delay;
    std::uint8_t note = 0;
};

// Chains the remaining advance pulses on the MIDI timer thread, each timed from when the previous one
// went out. The router is only checked, never locked: locking could leave this task holding its last
// reference and run the router's destructor on the timer thread.
void scheduleAdvancePulses(std::weak_ptr<const CommandRouter> router, MIDITransport &midi,
                           std::vector<PendingPulse> pulses)
{
    if (pulses.empty())
        return;
    const std::chrono::milliseconds delay = pulses.front().delay;
    midi.schedule(delay, [router = std::move(router), transport = midi.weak_from_this(),
                          pulses = std::move(pulses)]() mutable {
        if (router.expired())
            return;
        const std::shared_ptr<MIDITransport> strong = transport.lock();
        if (!strong)
            return;
        strong->pulse(pulses.front().note);
        pulses.erase(pulses.begin());
        scheduleAdvancePulses(std::move(router), *strong, std::move(pulses));
    });
}

constexpr std::chrono::seconds kStateRequestInterval(10);

} // namespace

// The one chain of VirtualDJ state requests: at most one task is pending, and none while none is wanted.
struct StateRequests
{
    std::atomic<bool> wanted = false;
    std::atomic<bool> pending = false;
    // When the last request went out (steady-clock ticks), so that a restarted chain keeps the interval.
    std::atomic<MIDIScheduler::Clock::rep> lastSent =
        MIDIScheduler::Clock::time_point::min().time_since_epoch().count();
};

namespace {

// Like the advance steps, the task only checks the router and holds the shared state instead.
void scheduleStateRequest(std::weak_ptr<const CommandRouter> router, MIDITransport &midi,
                          std::shared_ptr<StateRequests> requests)
{
    const MIDIScheduler::Clock::time_point lastSent{MIDIScheduler::Clock::duration(requests->lastSent)};
    const MIDIScheduler::Clock::time_point now = MIDIScheduler::Clock::now();
    const MIDIScheduler::Clock::duration delay = lastSent + kStateRequestInterval > now
                                                     ? lastSent + kStateRequestInterval - now
                                                     : MIDIScheduler::Clock::duration::zero();
    midi.schedule(delay, [router = std::move(router), transport = midi.weak_from_this(),
                          requests = std::move(requests)]() mutable {
        const std::shared_ptr<MIDITransport> strong = transport.lock();
        if (router.expired() || !strong)
            return;
        // Cleared before looking: a request wanted from here on starts its own chain.
        requests->pending = false;
        if (!requests->wanted || requests->pending.exchange(true))
            return;
        strong->pulse(NoteMap::kVirtualDJRefreshNote);
        requests->lastSent = MIDIScheduler::Clock::now().time_since_epoch().count();
        scheduleStateRequest(std::move(router), *strong, std::move(requests));
    });
}

} // namespace

CommandRouter::CommandRouter(DJPlatform platform, std::shared_ptr<MIDITransport> midi,
                             std::shared_ptr<QSettings> defaults, std::unique_ptr<NowPlayingMonitor> monitor,
                             std::shared_ptr<const Clock> clock)
    : m_platform(platform)
    , m_midi(std::move(midi))
    , m_nowPlayingMonitor(monitor ? std::move(monitor) : NowPlayingMonitor::createForSystem(platform))
    , m_store(defaults ? defaults->fileName() : QSettings().fileName(),
              defaults ? defaults->format() : QSettings::NativeFormat)
    , m_clock(clock ? std::move(clock) : std::make_shared<SystemClock>())
    , m_stateRequests(std::make_shared<StateRequests>())
    , m_wrongCodeNotices(kWrongCodeNoticeMSecs)
{
    Q_ASSERT(m_midi);
    // No other thread sees the router yet: no lock is needed here.
    const QVariantMap stored = m_store.read();

    m_pairing = StoredPairing::read(stored, m_platform);
    m_lastSeenSavedAt = m_clock->nowMSecsSinceEpoch();
    m_storedWeddingScript = stored.value(key(kWeddingScriptSuffix)).toString();
    m_storedScriptRevision = stored.value(key(kScriptRevisionSuffix)).toLongLong();

    // Only the length is checked: a code of six characters is kept as it is.
    const QVariant storedCode = stored.value(key(kPairingCodeSuffix));
    if (storedCode.typeId() == QMetaType::QString && storedCode.toString().size() == kPairingCodeLength) {
        m_storedPairingCode = storedCode.toString();
    } else {
        m_storedPairingCode = generatePairingCode();
        persist(storedValues({m_storedWeddingScript, m_storedScriptRevision}));
    }
    // Whoever builds the router reads its first condition from settingsWarning().
    m_storeConditionChanged = false;
}

CommandRouter::~CommandRouter()
{
    if (!m_lastSeenChanged)
        return;
    // No other thread reaches a router that is going: no lock is needed.
    persist(storedValues({m_storedWeddingScript, m_storedScriptRevision}));
}

QString CommandRouter::pairingCode() const
{
    std::lock_guard lock(m_lock);
    return m_storedPairingCode;
}

int CommandRouter::pairedDeviceCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_pairing.tokens.size());
}

std::optional<QString> CommandRouter::pair(const QString &code)
{
    std::lock_guard writing(m_writeLock);
    QString token = QUuid::createUuid().toString(QUuid::Id128).toUpper();
    QVariantMap values;
    {
        std::lock_guard lock(m_lock);
        if (code.trimmed() != m_storedPairingCode)
            return std::nullopt;
        m_pairing.tokens.insert(token);
        ++m_stateRevision;
        values = storedValues({m_storedWeddingScript, m_storedScriptRevision});
    }
    persist(values);
    reportSettingsCondition();
    reportDevicesChange();
    return token;
}

std::optional<QString> CommandRouter::pair(const QString &code, const PairingRequester &requester)
{
    const QString name = deviceNameFromUserAgent(requester.userAgent);
    std::optional<QString> token;
    PairedDevice device;
    bool announceWrongCode = false;
    {
        std::lock_guard writing(m_writeLock);
        QVariantMap values;
        {
            std::lock_guard lock(m_lock);
            const qint64 now = m_clock->nowMSecsSinceEpoch();
            if (code.trimmed() != m_storedPairingCode) {
                announceWrongCode = m_wrongCodeNotices.letThrough(requester.address, now);
            } else {
                token = QUuid::createUuid().toString(QUuid::Id128).toUpper();
                device = PairedDevice{deviceId(*token), name, requester.address, now, std::nullopt, {}};
                m_pairing.tokens.insert(*token);
                m_pairing.devices.insert_or_assign(device.id, device);
                ++m_stateRevision;
                values = storedValues({m_storedWeddingScript, m_storedScriptRevision});
            }
        }
        if (token)
            persist(values);
    }
    if (!token) {
        // Every guess is kept in the log; the window hears of one per address every 30 seconds.
        const QString message = u"Wrong pairing code from "_s + requester.address + u'.';
        if (announceWrongCode)
            notify(message);
        recordActivity(u"wrongcode"_s, message, name + u' ' + requester.address);
        return std::nullopt;
    }
    reportSettingsCondition();
    reportDevicesChange();
    const QString message = u"Paired "_s + device.name + u" ("_s + device.pairedFrom + u")."_s;
    notify(message);
    recordActivity(u"pairing"_s, message, device.label());
    return token;
}

bool CommandRouter::isAuthorized(const std::optional<QString> &token) const
{
    if (!token || token->isEmpty())
        return false;
    std::lock_guard lock(m_lock);
    return m_pairing.tokens.contains(*token);
}

bool CommandRouter::admitRequest(const RequestOrigin &origin)
{
    if (!origin.token || origin.token->isEmpty())
        return false;
    bool becameConnected = false;
    bool saveDue = false;
    {
        std::lock_guard lock(m_lock);
        if (!m_pairing.tokens.contains(*origin.token))
            return false;
        const QString id = deviceId(*origin.token);
        auto device = m_pairing.devices.try_emplace(id, PairedDevice::unknown(id)).first;
        const qint64 now = m_clock->nowMSecsSinceEpoch();
        becameConnected = !device->second.connected(now);
        device->second.lastSeenAt = now;
        device->second.lastSeenFrom = origin.address;
        m_lastSeenChanged = true;
        saveDue = now - m_lastSeenSavedAt >= kLastSeenSaveMSecs || now < m_lastSeenSavedAt;
    }
    if (saveDue)
        saveLastSeen();
    if (becameConnected)
        reportDevicesChange();
    return true;
}

void CommandRouter::saveLastSeen()
{
    {
        std::lock_guard writing(m_writeLock);
        QVariantMap values;
        {
            std::lock_guard lock(m_lock);
            if (!m_lastSeenChanged)
                return;
            values = storedValues({m_storedWeddingScript, m_storedScriptRevision});
        }
        persist(values);
    }
    reportSettingsCondition();
}

void CommandRouter::reportPairingBlocked(const QString &address)
{
    const QString message =
        u"Pairing from "_s + address + u" is blocked for 10 minutes after too many wrong codes."_s;
    notify(message);
    recordActivity(u"blocked"_s, message, address);
}

QList<PairedDevice> CommandRouter::pairedDevices() const
{
    std::lock_guard lock(m_lock);
    return m_pairing.deviceList();
}

bool CommandRouter::forgetDevice(const QString &id)
{
    PairedDevice forgotten;
    {
        std::lock_guard writing(m_writeLock);
        QVariantMap values;
        {
            std::lock_guard lock(m_lock);
            const auto erased = std::erase_if(m_pairing.tokens,
                                              [&id](const QString &token) { return deviceId(token) == id; });
            if (erased == 0)
                return false;
            const auto record = m_pairing.devices.find(id);
            forgotten = record != m_pairing.devices.end() ? record->second : PairedDevice::unknown(id);
            m_pairing.devices.erase(id);
            ++m_stateRevision;
            values = storedValues({m_storedWeddingScript, m_storedScriptRevision});
        }
        persist(values);
    }
    reportSettingsCondition();
    reportDevicesChange();
    const QString message =
        u"Forgot "_s + forgotten.name + u" ("_s + forgotten.lastAddress() + u"). It must pair again."_s;
    notify(message);
    recordActivity(u"forget"_s, message, kWindow);
    return true;
}

QString CommandRouter::resetPairing()
{
    QString code;
    {
        std::lock_guard writing(m_writeLock);
        QVariantMap values;
        {
            std::lock_guard lock(m_lock);
            m_pairing.tokens.clear();
            m_pairing.devices.clear();
            m_storedPairingCode = generatePairingCode();
            code = m_storedPairingCode;
            ++m_stateRevision;
            values = storedValues({m_storedWeddingScript, m_storedScriptRevision});
        }
        persist(values);
    }
    reportSettingsCondition();
    reportDevicesChange();
    const QString message = shortName(m_platform) + u" pairing reset. Existing devices must pair again."_s;
    notify(message);
    recordActivity(u"reset"_s, message, kWindow);
    return code;
}

std::optional<TrackInfo> CommandRouter::nowPlayingTrack() const
{
    return m_nowPlayingMonitor->currentTrack();
}

void CommandRouter::setOnStateChange(std::function<void(const QString &)> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onStateChange = std::move(callback);
}

void CommandRouter::setOnSettingsWarningChange(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onSettingsWarningChange = std::move(callback);
}

void CommandRouter::setOnDevicesChange(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onDevicesChange = std::move(callback);
}

void CommandRouter::setOnActivity(
    std::function<void(const QString &, const QString &, const QString &)> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onActivity = std::move(callback);
}

QString CommandRouter::settingsWarning() const
{
    std::lock_guard lock(m_lock);
    if (m_storeWritable)
        return {};
    return u"Settings cannot be saved: "_s + m_store.fileName()
           + u". Pairings and the wedding script will be lost when the connector stops."_s;
}

QString CommandRouter::expectedState(DeckSide deck) const
{
    std::lock_guard lock(m_lock);
    return m_decks[index(deck)].state;
}

int CommandRouter::expectedVolume(DeckSide deck) const
{
    std::lock_guard lock(m_lock);
    return m_decks[index(deck)].volume;
}

CommandResult CommandRouter::handle(RemoteCommand command, DeckSide deck, const RequestOrigin &origin)
{
    DeckCommands::Outcome outcome;
    QString device;
    {
        std::lock_guard lock(m_lock);
        DeckExpectation &expectation = m_decks[index(deck)];
        outcome = DeckCommands::outcome(m_platform, command, deck, expectation);
        switch (outcome.send) {
        case DeckCommands::Outcome::Send::nothing:
            break;
        case DeckCommands::Outcome::Send::pulse:
            m_midi->pulse(m_midi->note(command, deck));
            break;
        case DeckCommands::Outcome::Send::advance:
            sendAdvance(deck, expectation.playing, true);
            break;
        }
        expectation = outcome.next;
        ++m_stateRevision;
        device = originLabel(origin);
    }
    notify(outcome.message);
    recordActivity(u"command"_s, outcome.message, device);
    return CommandResult{true,           outcome.message, outcome.next.state,
                         newCommandID(), rawValue(deck),  std::nullopt};
}

void CommandRouter::reportDeckPlaying(DeckSide deck, bool playing)
{
    DeckCommands::Outcome outcome;
    {
        std::lock_guard lock(m_lock);
        DeckExpectation &expectation = m_decks[index(deck)];
        outcome = DeckCommands::reported(m_platform, deck, playing, expectation);
        expectation = outcome.next;
        m_deckStateReported = true;
        ++m_stateRevision;
        updateStateRequests();
    }
    if (!outcome.message.isEmpty())
        notify(outcome.message);
}

bool CommandRouter::deckStateReported() const
{
    std::lock_guard lock(m_lock);
    return m_deckStateReported;
}

void CommandRouter::listenToDeckReports()
{
    m_midi->setDeckReportHandler([router = weak_from_this()](DeckSide deck, bool playing) {
        if (const std::shared_ptr<CommandRouter> strong = router.lock())
            strong->reportDeckPlaying(deck, playing);
    });
}

void CommandRouter::setDJSoftwareRunning(bool running)
{
    std::lock_guard lock(m_lock);
    m_djSoftwareRunning = running;
    updateStateRequests();
}

void CommandRouter::updateStateRequests()
{
    m_stateRequests->wanted =
        m_platform == DJPlatform::virtualDJ && m_djSoftwareRunning && !m_deckStateReported;
    if (m_stateRequests->wanted && !m_stateRequests->pending.exchange(true))
        scheduleStateRequest(weak_from_this(), *m_midi, m_stateRequests);
}

std::optional<CommandResult> CommandRouter::handleVolume(int percent, DeckSide deck,
                                                         const RequestOrigin &origin)
{
    const std::optional<std::uint8_t> value = NoteMap::volumeValue(m_platform, percent);
    if (!value)
        return std::nullopt;
    m_midi->setControlChange(NoteMap::volumeController(deck), *value);

    QString state;
    QString device;
    {
        std::lock_guard lock(m_lock);
        device = originLabel(origin);
        // Serato's mapping drives one music level from either controller, so both decks follow it.
        if (m_platform == DJPlatform::serato) {
            for (DeckExpectation &expectation : m_decks)
                expectation.volume = percent;
        } else {
            m_decks[index(deck)].volume = percent;
        }
        state = m_decks[index(deck)].state;
        ++m_stateRevision;
    }
    const QString message = DeckCommands::volumeMessage(m_platform, percent, deck);
    notify(message);
    recordActivity(u"volume"_s, message, device);
    return CommandResult{true, message, state, newCommandID(), rawValue(deck), percent};
}

WeddingScriptSnapshot CommandRouter::weddingScriptSnapshot() const
{
    std::lock_guard lock(m_lock);
    return {m_storedWeddingScript, m_storedScriptRevision};
}

std::optional<qint64> CommandRouter::updateWeddingScript(const QString &text, const RequestOrigin &origin)
{
    WeddingScriptSnapshot script{text.trimmed(), 0};
    bool saved = false;
    QString device;
    {
        std::lock_guard writing(m_writeLock);
        QVariantMap values;
        {
            std::lock_guard lock(m_lock);
            // A stored revision at the very top stays there rather than wrap around to negative.
            const qint64 next = m_storedScriptRevision < std::numeric_limits<qint64>::max()
                                    ? m_storedScriptRevision + 1
                                    : m_storedScriptRevision;
            script.revision = std::max(m_clock->nowMSecsSinceEpoch(), next);
            values = storedValues(script);
            device = originLabel(origin);
        }
        // The text and its revision are written together and kept only once they are on disk.
        saved = persist(values);
        if (saved) {
            std::lock_guard lock(m_lock);
            m_storedWeddingScript = script.text;
            m_storedScriptRevision = script.revision;
            ++m_stateRevision;
        }
    }
    reportSettingsCondition();
    if (!saved)
        return std::nullopt;
    notify(shortName(m_platform) + u" wedding script updated for paired devices."_s);
    // The text itself never goes to the log: only its revision and size.
    recordActivity(u"script"_s,
                   u"Wedding script saved: revision "_s + QString::number(script.revision) + u", "_s
                       + QString::number(script.text.toUtf8().size()) + u" bytes."_s,
                   device);
    return script.revision;
}

QString CommandRouter::generatePairingCode()
{
    const quint32 number = QRandomGenerator::system()->bounded(1'000'000U);
    return u"%1"_s.arg(number, kPairingCodeLength, 10, QChar(u'0'));
}

QString CommandRouter::newCommandID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

std::size_t CommandRouter::index(DeckSide deck)
{
    return static_cast<std::size_t>(deck);
}

QString CommandRouter::key(QLatin1StringView suffix) const
{
    return defaultsPrefix(m_platform) + suffix;
}

QVariantMap CommandRouter::storedValues(const WeddingScriptSnapshot &script)
{
    QVariantMap values{{key(kPairingCodeSuffix), m_storedPairingCode},
                       {key(kWeddingScriptSuffix), script.text},
                       {key(kScriptRevisionSuffix), script.revision}};
    m_pairing.addTo(values, m_platform);
    m_lastSeenChanged = false;
    m_lastSeenSavedAt = m_clock->nowMSecsSinceEpoch();
    return values;
}

QString CommandRouter::originLabel(const RequestOrigin &origin) const
{
    if (!origin.token)
        return kWindow;
    const QString id = deviceId(*origin.token);
    const auto record = m_pairing.devices.find(id);
    PairedDevice device = record != m_pairing.devices.end() ? record->second : PairedDevice::unknown(id);
    device.lastSeenFrom = origin.address;
    return device.label();
}

bool CommandRouter::persist(const QVariantMap &values)
{
    const bool landed = m_store.write(values);
    std::lock_guard lock(m_lock);
    if (landed != m_storeWritable) {
        m_storeWritable = landed;
        m_storeConditionChanged = true;
    }
    return landed;
}

void CommandRouter::sendAdvance(DeckSide deck, bool shouldPauseFirst, bool playAfter)
{
    const std::vector<DeckCommands::AdvanceStep> steps =
        DeckCommands::advanceSteps(m_platform, shouldPauseFirst, playAfter);
    m_midi->pulse(m_midi->note(steps.front().command, deck));
    std::vector<PendingPulse> later;
    for (auto step = steps.cbegin() + 1; step != steps.cend(); ++step)
        later.push_back({step->delay, m_midi->note(step->command, deck)});
    scheduleAdvancePulses(weak_from_this(), *m_midi, std::move(later));
}

void CommandRouter::notify(const QString &message)
{
    postToMainThread([router = weak_from_this(), message] {
        if (const std::shared_ptr<CommandRouter> strong = router.lock())
            strong->deliver(message);
    });
}

void CommandRouter::reportSettingsCondition()
{
    {
        std::lock_guard lock(m_lock);
        if (!std::exchange(m_storeConditionChanged, false))
            return;
    }
    callOnMainThread(&CommandRouter::m_onSettingsWarningChange);
}

void CommandRouter::reportDevicesChange()
{
    callOnMainThread(&CommandRouter::m_onDevicesChange);
}

void CommandRouter::callOnMainThread(std::function<void()> CommandRouter::*callback)
{
    postToMainThread([router = weak_from_this(), callback] {
        const std::shared_ptr<CommandRouter> strong = router.lock();
        if (!strong)
            return;
        std::function<void()> current;
        {
            std::lock_guard lock(strong->m_callbackLock);
            current = strong.get()->*callback;
        }
        if (current)
            current();
    });
}

void CommandRouter::recordActivity(const QString &kind, const QString &message, const QString &device) const
{
    std::function<void(const QString &, const QString &, const QString &)> callback;
    {
        std::lock_guard lock(m_callbackLock);
        callback = m_onActivity;
    }
    // The log's writer and the window are other threads: while the server answers, they wait.
    if (callback)
        wakeWhenAllowed([callback, kind, message, device] { callback(kind, message, device); });
}

void CommandRouter::deliver(const QString &message) const
{
    std::function<void(const QString &)> callback;
    {
        std::lock_guard lock(m_callbackLock);
        callback = m_onStateChange;
    }
    if (callback)
        callback(message);
}
