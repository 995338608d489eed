#pragma once

#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"
#include "midi/deckreport.h"
#include "midi/midioutput.h"
#include "midi/midischeduler.h"

#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

// The virtual MIDI source the DJ software listens to: note pulses for deck commands, control changes
// for volume; and the destination of the same name it answers on with each deck's play state. Created
// and released on the main thread; every other call comes from any thread and returns at once.
// Note-offs run on the transport's MIDI timer thread and hold the transport weakly, so releasing it
// cancels them.
//
// When the MIDI system under an open source stops, the transport drops every message and tries every
// 2 seconds, on its timer thread, to create the source and destination again under the same names.
// Nothing is scheduled while they work.
class MIDITransport : public std::enable_shared_from_this<MIDITransport>
{
    struct Passkey
    {
        explicit Passkey() = default;
    };

public:
    // The real virtual source through RtMidi. Never fails: see startupError().
    static std::shared_ptr<MIDITransport> create(DJPlatform platform);
    static std::shared_ptr<MIDITransport> create(DJPlatform platform, std::unique_ptr<MIDIOutput> output);

    MIDITransport(Passkey, DJPlatform platform, std::unique_ptr<MIDIOutput> output);
    MIDITransport(const MIDITransport &) = delete;
    MIDITransport &operator=(const MIDITransport &) = delete;

    // How long a note stays down: the DJ software needs to see the press.
    static std::chrono::milliseconds holdTime(DJPlatform platform);

    ~MIDITransport();

    // Absent when the virtual source exists; otherwise every message is dropped.
    std::optional<QString> startupError() const;
    // Absent while the virtual source works; otherwise why every message is dropped: the startup
    // failure, or that the MIDI system stopped.
    std::optional<QString> error() const;
    std::uint8_t note(RemoteCommand command, DeckSide deck) const;

    // Note-on now, note-off after the hold time. A note or controller above 127 is dropped: as a data
    // byte it would read as a status byte and garble the stream. Values above 127 are sent as 127.
    void pulse(std::uint8_t note);
    void setControlChange(std::uint8_t controller, std::uint8_t value);

    // Told on the main thread of the latest play state the DJ software reported for a deck. Reports
    // that arrive faster than the main thread takes them are merged: only each deck's latest counts.
    using DeckReportHandler = std::function<void(DeckSide deck, bool playing)>;
    // Main thread only.
    void setDeckReportHandler(DeckReportHandler handler);
    // Whether anything at all has arrived from the DJ software since the transport was created.
    bool hasHeardFromDJSoftware() const;
    // Runs a task on the MIDI timer thread after the delay. The task must hold its owner weakly.
    void schedule(std::chrono::steady_clock::duration delay, MIDIScheduler::Task task);

private:
    void open();
    bool isSending() const;
    void send(const std::array<std::uint8_t, 3> &message);
    // From the output's trouble handler, on any thread: checks on the timer thread, once per burst.
    void noticeTrouble();
    void checkAfterTrouble();
    void scheduleReopen();
    void reopen();
    // A message from the DJ software, on the MIDI service's receiving thread; never waits.
    void receive(std::span<const std::uint8_t> message);
    void deliverReports();

    const DJPlatform m_platform;
    // Null when the source could not be created. Released first on destruction, so that no trouble
    // is reported to a half-destroyed transport.
    std::unique_ptr<MIDIOutput> m_output;
    std::optional<QString> m_startupError;
    // Set while the MIDI system is away and the source is being created again.
    std::atomic<bool> m_systemStopped = false;
    std::atomic<bool> m_troubleCheckQueued = false;
    MIDIScheduler m_scheduler;

    // Each deck's latest report not yet handed over: kNoReport, or whether it plays. Written on the
    // receiving thread, taken on the main thread; a hand-over is posted once per burst.
    static constexpr int kNoReport = -1;
    std::array<std::atomic<int>, 2> m_pendingReports{kNoReport, kNoReport};
    std::atomic<bool> m_reportsPosted = false;
    std::atomic<bool> m_heardFromDJSoftware = false;
    DeckReportHandler m_onDeckReport;
};
