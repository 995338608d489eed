#pragma once

#include "core/deckside.h"
#include "core/djplatform.h"
#include "core/remotecommand.h"

#include <cstdint>
#include <optional>

// The complete map from command and deck to MIDI note, and from volume to controller value. The
// shipped Serato preset and VirtualDJ mapping bind exactly these numbers, and send each deck's play
// state back on its play note.
namespace NoteMap {

inline constexpr std::uint8_t kChannel = 15; // zero-based: MIDI channel 16
inline constexpr std::uint8_t kLeftVolumeCC = 20;
inline constexpr std::uint8_t kRightVolumeCC = 21;
// VirtualDJ's mapping binds it to refresh_controller: every LED, deck play states included, is sent again.
inline constexpr std::uint8_t kVirtualDJRefreshNote = 90;

std::uint8_t note(DJPlatform platform, RemoteCommand command, DeckSide deck);
std::uint8_t volumeController(DeckSide deck);
// The controller value for 25, 50, 75 or 100 percent; none for any other percentage.
std::optional<std::uint8_t> volumeValue(DJPlatform platform, int percent);

} // namespace NoteMap
