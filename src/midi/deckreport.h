#pragma once

#include "core/deckside.h"
#include "core/djplatform.h"

#include <cstdint>
#include <optional>
#include <span>

// What the DJ software says about a deck through the mapping's outputs: the play note's LED, on
// channel 16.
struct DeckReport
{
    DeckSide deck = DeckSide::left;
    bool playing = false;

    friend bool operator==(const DeckReport &, const DeckReport &) = default;
};

// The report one incoming message carries, if any: Note On with velocity 1-127 on a deck's play note
// means playing; velocity 0, or Note Off, means not playing. Everything else carries none.
std::optional<DeckReport> deckReport(DJPlatform platform, std::span<const std::uint8_t> message);
