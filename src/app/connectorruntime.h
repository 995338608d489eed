#pragma once

#include "midi/miditransport.h"
#include "router/commandrouter.h"
#include "server/remoteserver.h"

#include <memory>

// The running connector of one platform. Members are released in reverse order: the server, then
// the router, then the transport (whose release closes the virtual MIDI port).
struct ConnectorRuntime
{
    std::shared_ptr<MIDITransport> midi;
    std::shared_ptr<CommandRouter> router;
    std::shared_ptr<RemoteServer> server;
};
