#pragma once

#include "midi/notemap.h"

#include <algorithm>
#include <array>
#include <cstdint>

// The three messages the connector sends, always on channel 16.
namespace MIDIMessage {

using Bytes = std::array<std::uint8_t, 3>;

inline constexpr std::uint8_t kNoteOn = 0x90 + NoteMap::kChannel;
inline constexpr std::uint8_t kNoteOff = 0x80 + NoteMap::kChannel;
inline constexpr std::uint8_t kControlChange = 0xB0 + NoteMap::kChannel;
inline constexpr std::uint8_t kMaxDataByte = 127;

constexpr Bytes noteOn(std::uint8_t note)
{
    return {kNoteOn, note, kMaxDataByte};
}

constexpr Bytes noteOff(std::uint8_t note)
{
    return {kNoteOff, note, 0};
}

constexpr Bytes controlChange(std::uint8_t controller, std::uint8_t value)
{
    return {kControlChange, controller, std::min(value, kMaxDataByte)};
}

} // namespace MIDIMessage
