#include "midi/midisystem.h"

#include <CoreMIDI/CoreMIDI.h>

using namespace Qt::StringLiterals;

namespace {

std::optional<int> coreMIDIClientFailureCode(const std::string &)
{
    MIDIClientRef client = 0;
    const OSStatus status = MIDIClientCreate(CFSTR("Tarvik DJ Connector probe"), nullptr, nullptr, &client);
    if (status != noErr)
        return static_cast<int>(status);
    MIDIClientDispose(client);
    return std::nullopt;
}

} // namespace

std::vector<MIDISystem> midiSystems()
{
    return {{RtMidi::MACOSX_CORE, u"CoreMIDI"_s, &coreMIDIClientFailureCode, nullptr, nullptr}};
}
