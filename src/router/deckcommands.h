#pragma once

#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"
#include "router/deckexpectation.h"

#include <QString>

#include <chrono>
#include <vector>

// What a deck command does, as data: the router applies it under its lock and sends the MIDI.
namespace DeckCommands {

struct Outcome
{
    enum class Send {
        nothing,
        pulse,   // one pulse of the command's own note
        advance, // the platform's advance sequence
    };

    Send send = Send::nothing;
    DeckExpectation next;
    QString message;
};

// One pulse of an advance sequence, `delay` after the previous one has been sent.
struct AdvanceStep
{
    std::chrono::milliseconds delay;
    RemoteCommand command;
};

Outcome outcome(DJPlatform platform, RemoteCommand command, DeckSide deck, const DeckExpectation &current);

// Serato DJ Pro has no single "next song" control: a playing deck is stopped first, the next prepared
// song loaded, then started. VirtualDJ's mapping does all of it from one note.
std::vector<AdvanceStep> advanceSteps(DJPlatform platform, bool shouldPauseFirst, bool playAfter);

// What a play-state report from the DJ software makes of the expectation. The message is empty when
// the report agrees with it (the echo of the connector's own command).
Outcome reported(DJPlatform platform, DeckSide deck, bool playing, const DeckExpectation &current);

QString volumeMessage(DJPlatform platform, int percent, DeckSide deck);

} // namespace DeckCommands
