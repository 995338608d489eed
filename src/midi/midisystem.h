#pragma once

#include <QString>

#include <RtMidi.h>

#include <optional>
#include <string>
#include <vector>

// A host MIDI service RtMidi can open a virtual source on, in the order to try them.
struct MIDISystem
{
    RtMidi::Api api;
    QString name;
    // The service's own code for why a client cannot be opened right now; none when one can (or the
    // service gives no code). RtMidi reports failures as text only.
    std::optional<int> (*clientFailureCode)(const std::string &clientName);
};

std::vector<MIDISystem> midiSystems();
