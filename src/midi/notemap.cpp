#include "midi/notemap.h"

#include <array>
#include <cstdlib>

namespace NoteMap {

namespace {

// Indexed by RemoteCommand's case order: play, pause, advance, playNext, stop, load.
using DeckNotes = std::array<std::uint8_t, 6>;
// On Serato the deck's play control toggles, so pause uses the play note.
constexpr DeckNotes kSeratoLeft{80, 80, 82, 82, 83, 88};
constexpr DeckNotes kSeratoRight{84, 84, 86, 86, 87, 89};
constexpr DeckNotes kVirtualDJLeft{80, 81, 82, 82, 83, 88};
constexpr DeckNotes kVirtualDJRight{84, 85, 86, 86, 87, 89};

} // namespace

std::uint8_t note(DJPlatform platform, RemoteCommand command, DeckSide deck)
{
    const bool left = deck == DeckSide::left;
    const DeckNotes &notes = platform == DJPlatform::serato ? (left ? kSeratoLeft : kSeratoRight)
                                                            : (left ? kVirtualDJLeft : kVirtualDJRight);
    return notes[static_cast<std::size_t>(command)];
}

std::uint8_t volumeController(DeckSide deck)
{
    return deck == DeckSide::left ? kLeftVolumeCC : kRightVolumeCC;
}

std::optional<std::uint8_t> volumeValue(DJPlatform platform, int percent)
{
    if (percent != 25 && percent != 50 && percent != 75 && percent != 100)
        return std::nullopt;
    if (platform == DJPlatform::serato) {
        // A fixed table, not a proportion: 25 % sends 0.
        switch (percent) {
        case 25:
            return 0;
        case 50:
            return 32;
        case 75:
            return 51;
        default:
            return 64;
        }
    }
    // Nearest integer to percent / 100 * 127, halves away from zero (50 % gives 64, not 63).
    return static_cast<std::uint8_t>((percent * 127 * 2 + 100) / 200);
}

} // namespace NoteMap
