#pragma once

#include <QString>

#include <RtMidi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A host MIDI service RtMidi can open a virtual source on, in the order to try them.
struct MIDISystem
{
    // Called once on a service thread when the service quits; must return at once.
    using StopHandler = void (*)(void *context);

    RtMidi::Api api;
    QString name;
    // The service's own code for why a client cannot be opened right now; none when one can (or the
    // service gives no code). RtMidi reports failures as text only.
    std::optional<int> (*clientFailureCode)(const std::string &clientName);
    // The code opening would fail with when the service is plainly not on this machine; asked first,
    // so that opening it does not print its library's complaints. Null when the service cannot tell.
    std::optional<int> (*absenceCode)();
    // Listens for the service's end, which RtMidi does not report. The handle is null when the client
    // to listen with cannot be opened; once it is released the handler is not called any more. Null
    // for a service without such a notice: a failing send is then the only sign.
    std::shared_ptr<void> (*watch)(const std::string &clientName, StopHandler stopped, void *context);
};

std::vector<MIDISystem> midiSystems();
