#pragma once

#include "core/clock.h"
#include "core/commandresult.h"
#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"
#include "core/trackinfo.h"
#include "midi/miditransport.h"
#include "nowplaying/nowplayingmonitor.h"
#include "router/deckexpectation.h"
#include "router/noticecoalescer.h"
#include "router/paireddevice.h"
#include "router/settingsstore.h"
#include "router/storedpairing.h"

#include <QSettings>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

struct StateRequests;

// Who sent a request: a paired device's bearer token and the address it came from (dotted quad or
// plain IPv6). One without a token is the window.
struct RequestOrigin
{
    std::optional<QString> token;
    QString address;
};

// Who asks to pair: the request's User-Agent and the address it came from.
struct PairingRequester
{
    QString userAgent;
    QString address;
};

struct WeddingScriptSnapshot
{
    QString text;
    qint64 revision = 0;
};

// The one object through which paired devices and the window reach the running connector: pairing
// and device tokens, deck commands with the expected deck state, the wedding script. Thread-safe:
// called from the server thread and the main thread; its messages reach the state-change callback
// on the Qt main thread. Always owned by a shared_ptr: its notifications and delayed advance steps
// hold it weakly. Its settings go through a store of its own, used by one caller at a time, and
// every write carries everything it keeps, so a write that lands also saves what an earlier failed
// one could not.
class CommandRouter : public std::enable_shared_from_this<CommandRouter>
{
public:
    // A null monitor means the one watching this computer; a null clock the system clock; null
    // defaults the application's standard store. Loads the platform's pairing state and script. Only
    // the file behind `defaults` is used, never the object itself, which may belong to another thread.
    CommandRouter(DJPlatform platform, std::shared_ptr<MIDITransport> midi,
                  std::shared_ptr<QSettings> defaults, std::unique_ptr<NowPlayingMonitor> monitor = {},
                  std::shared_ptr<const Clock> clock = {});
    // Saves the last-seen times that changed since the last write.
    ~CommandRouter();
    CommandRouter(const CommandRouter &) = delete;
    CommandRouter &operator=(const CommandRouter &) = delete;

    QString pairingCode() const;
    int pairedDeviceCount() const;
    // A new device token, or none when the code (trimmed) is not the current one. The token works
    // until the router goes, also when the store could not save it.
    std::optional<QString> pair(const QString &code);
    // The same for a device over the network: its record takes the name and address, and the pairing
    // or the wrong code (once per address every 30 seconds) is announced.
    std::optional<QString> pair(const QString &code, const PairingRequester &requester);
    bool isAuthorized(const std::optional<QString> &token) const;
    // isAuthorized() for a request, which also counts as the device being seen now at its address.
    // The last-seen times are saved at most once a minute (and when the router goes).
    bool admitRequest(const RequestOrigin &origin);
    // Announces that pairing from an address is refused for a while after too many wrong codes.
    void reportPairingBlocked(const QString &address);
    // Revokes every device; returns the new code.
    QString resetPairing();
    // Every paired device, ordered by id; a token paired by an older version is an unknown device.
    QList<PairedDevice> pairedDevices() const;
    // Revokes the one device, saved before it returns; false when no device has that id.
    bool forgetDevice(const QString &id);

    // Asks the now-playing monitor without taking the router's lock.
    std::optional<TrackInfo> nowPlayingTrack() const;

    // Set once, on the main thread, right after construction.
    void setOnStateChange(std::function<void(const QString &message)> callback);
    // Called on the main thread after the store stopped or started taking writes again; the
    // current condition is settingsWarning().
    void setOnSettingsWarningChange(std::function<void()> callback);
    // Empty while the last write reached the disk; otherwise says which file cannot be saved.
    QString settingsWarning() const;
    // Called on the main thread after a device paired or went, and when one became connected; the
    // end of a connection is the reader's to notice (PairedDevice::connected()).
    void setOnDevicesChange(std::function<void()> callback);
    // Receives every event worth keeping in an activity log: a fixed lower-case kind, the message and
    // who caused it (a device's label, or "window"). Called on the thread of the event, never under
    // the lock, once that thread lets wake-ups go (WakeupsHeldBack); set once, right after construction.
    void setOnActivity(
        std::function<void(const QString &kind, const QString &message, const QString &device)> callback);

    QString expectedState(DeckSide deck) const;
    int expectedVolume(DeckSide deck) const;
    CommandResult handle(RemoteCommand command, DeckSide deck, const RequestOrigin &origin = {});
    // The DJ software's word on a deck: corrects the expectation, announcing only a change.
    void reportDeckPlaying(DeckSide deck, bool playing);
    // Whether the DJ software has reported any deck's state during this router's life.
    bool deckStateReported() const;
    // Takes the transport's deck reports from now on. Main thread, once, after construction.
    void listenToDeckReports();
    // Whether the DJ software is running now. While VirtualDJ runs and has not reported, it is asked
    // every 10 seconds to send its deck states again: it sends them only when they change.
    void setDJSoftwareRunning(bool running);
    // None unless the percentage is 25, 50, 75 or 100.
    std::optional<CommandResult> handleVolume(int percent, DeckSide deck, const RequestOrigin &origin = {});

    // Moves on with every change of the pairing, the decks or the script, after the change: an answer
    // built from them after reading a revision stays current while the revision does.
    quint64 stateRevision() const { return m_stateRevision.load(); }

    WeddingScriptSnapshot weddingScriptSnapshot() const;
    // Stores the trimmed text; returns its revision, larger than every earlier one. None when the
    // store could not save it; the script stays as it was then.
    std::optional<qint64> updateWeddingScript(const QString &text, const RequestOrigin &origin = {});

private:
    static QString generatePairingCode();
    static QString newCommandID();
    static std::size_t index(DeckSide deck);

    QString key(QLatin1StringView suffix) const;
    // The lock is held: everything the router stores, with the given script. The last-seen times
    // in it count as saved from now.
    QVariantMap storedValues(const WeddingScriptSnapshot &script);
    QString originLabel(const RequestOrigin &origin) const;
    // Writes the last-seen times when any changed since the last write.
    void saveLastSeen();
    // The write lock is held and the lock is not: writes the values in one go; true when they landed.
    // Records the store's condition; reportSettingsCondition() tells of a change.
    bool persist(const QVariantMap &values);
    void sendAdvance(DeckSide deck, bool shouldPauseFirst, bool playAfter);
    void updateStateRequests();

    // Never called under the lock.
    void notify(const QString &message);
    void deliver(const QString &message) const;
    void reportSettingsCondition();
    void reportDevicesChange();
    // Calls the callback kept in that member on the main thread, while the router still exists.
    void callOnMainThread(std::function<void()> CommandRouter::*callback);
    void recordActivity(const QString &kind, const QString &message, const QString &device) const;

    // Held from taking the values to their landing on disk, so writes land in the order taken; taken
    // before m_lock, never under it. Deck commands take only m_lock: a slow disk does not delay them.
    std::mutex m_writeLock;
    mutable std::mutex m_lock;
    const DJPlatform m_platform;
    const std::shared_ptr<MIDITransport> m_midi;
    const std::unique_ptr<NowPlayingMonitor> m_nowPlayingMonitor;
    // Used under m_writeLock only (and while constructing).
    SettingsStore m_store;
    const std::shared_ptr<const Clock> m_clock;
    std::array<DeckExpectation, 2> m_decks;
    bool m_deckStateReported = false;
    bool m_djSoftwareRunning = false;
    // Shared with the pending request on the MIDI timer thread, which must not lock the router.
    const std::shared_ptr<StateRequests> m_stateRequests;
    // A token paired by an older version has no record until it is seen. An older file gains the
    // records key only once there are records.
    StoredPairing m_pairing;
    bool m_lastSeenChanged = false;
    qint64 m_lastSeenSavedAt = 0;
    NoticeCoalescer m_wrongCodeNotices;
    QString m_storedPairingCode;
    QString m_storedWeddingScript;
    qint64 m_storedScriptRevision = 0;
    bool m_storeWritable = true;
    // Set under the lock when the condition changed; reported after it is released.
    bool m_storeConditionChanged = false;

    std::atomic<quint64> m_stateRevision = 0;

    mutable std::mutex m_callbackLock;
    std::function<void(const QString &)> m_onStateChange;
    std::function<void()> m_onSettingsWarningChange;
    std::function<void()> m_onDevicesChange;
    std::function<void(const QString &, const QString &, const QString &)> m_onActivity;
};
