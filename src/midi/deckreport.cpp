#include "midi/deckreport.h"

#include "midi/midimessage.h"

std::optional<DeckReport> deckReport(DJPlatform platform, std::span<const std::uint8_t> message)
{
    if (message.size() != 3 || message[1] > MIDIMessage::kMaxDataByte
        || message[2] > MIDIMessage::kMaxDataByte)
        return std::nullopt;
    const std::uint8_t status = message[0];
    if (status != MIDIMessage::kNoteOn && status != MIDIMessage::kNoteOff)
        return std::nullopt;
    for (const DeckSide deck : kAllDeckSides) {
        if (message[1] == NoteMap::note(platform, RemoteCommand::play, deck))
            return DeckReport{deck, status == MIDIMessage::kNoteOn && message[2] > 0};
    }
    return std::nullopt;
}
