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

#include <QSettings>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

struct StateRequests;

struct WeddingScriptSnapshot
{
    QString text;
    qint64 revision = 0;
};

// The one object through which paired devices and the window reach the running connector: pairing
// and device tokens, deck commands with the expected deck state, the wedding script. Thread-safe:
// called from the server thread and the main thread; its messages reach the state-change callback
// on the Qt main thread. Always owned by a shared_ptr: its notifications and delayed advance steps
// hold it weakly.
class CommandRouter : public std::enable_shared_from_this<CommandRouter>
{
public:
    // A null monitor means the one watching this computer; a null clock the system clock; null
    // defaults the application's standard store. Loads the platform's pairing state and script.
    CommandRouter(DJPlatform platform, std::shared_ptr<MIDITransport> midi,
                  std::shared_ptr<QSettings> defaults, std::unique_ptr<NowPlayingMonitor> monitor = {},
                  std::shared_ptr<const Clock> clock = {});
    CommandRouter(const CommandRouter &) = delete;
    CommandRouter &operator=(const CommandRouter &) = delete;

    QString pairingCode() const;
    int pairedDeviceCount() const;
    // A new device token, or none when the code (trimmed) is not the current one.
    std::optional<QString> pair(const QString &code);
    bool isAuthorized(const std::optional<QString> &token) const;
    // Revokes every device; returns the new code.
    QString resetPairing();

    // Asks the now-playing monitor without taking the router's lock.
    std::optional<TrackInfo> nowPlayingTrack() const;

    // Set once, on the main thread, right after construction.
    void setOnStateChange(std::function<void(const QString &message)> callback);

    QString expectedState(DeckSide deck) const;
    int expectedVolume(DeckSide deck) const;
    CommandResult handle(RemoteCommand command, DeckSide deck);
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
    std::optional<CommandResult> handleVolume(int percent, DeckSide deck);

    WeddingScriptSnapshot weddingScriptSnapshot() const;
    // Stores the trimmed text; returns its revision, larger than every earlier one.
    qint64 updateWeddingScript(const QString &text);

private:
    static QString generatePairingCode();
    static QString newCommandID();
    static std::size_t index(DeckSide deck);

    QString key(QLatin1StringView suffix) const;
    // The lock is held for these.
    void writePairingCode();
    void saveTokens();
    void sendAdvance(DeckSide deck, bool shouldPauseFirst, bool playAfter);
    void updateStateRequests();

    // Never called under the lock.
    void notify(const QString &message);
    void deliver(const QString &message) const;

    mutable std::mutex m_lock;
    const DJPlatform m_platform;
    const std::shared_ptr<MIDITransport> m_midi;
    const std::unique_ptr<NowPlayingMonitor> m_nowPlayingMonitor;
    const std::shared_ptr<QSettings> m_defaults;
    const std::shared_ptr<const Clock> m_clock;
    std::array<DeckExpectation, 2> m_decks;
    bool m_deckStateReported = false;
    bool m_djSoftwareRunning = false;
    // Shared with the pending request on the MIDI timer thread, which must not lock the router.
    const std::shared_ptr<StateRequests> m_stateRequests;
    std::set<QString> m_tokens;
    QString m_storedPairingCode;
    QString m_storedWeddingScript;
    qint64 m_storedScriptRevision = 0;

    mutable std::mutex m_callbackLock;
    std::function<void(const QString &)> m_onStateChange;
};
