#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <span>

// The socket calls of the server's connection loop whose form differs between systems: readiness of
// many sockets through one descriptor (epoll on Linux, kqueue on macOS), accepting a non-blocking
// connection, and
// sending without SIGPIPE. Failures leave errno set as the system does.
namespace NativeSocket {

enum Interest : unsigned {
    none = 0,
    readable = 1,
    writable = 2,
};

struct Event
{
    int descriptor = -1;
    // An error or hang-up counts as readable: the next read reports it.
    bool readable = false;
    bool writable = false;
};

// One descriptor that is readable while any watched socket is ready. Lives on one thread.
class ReadinessQueue
{
public:
    ReadinessQueue();
    ~ReadinessQueue();
    ReadinessQueue(const ReadinessQueue &) = delete;
    ReadinessQueue &operator=(const ReadinessQueue &) = delete;

    // -1 when the system could not make one.
    int descriptor() const { return m_descriptor; }
    // Changes what is watched on the socket from `from` to `to` (none: not watched).
    bool watch(int socket, unsigned from, unsigned to);
    // The events ready now, without waiting; returns how many were written.
    int take(std::span<Event> events);

private:
    int m_descriptor = -1;
};

// A pending connection as a non-blocking, close-on-exec descriptor, or -1.
int accept(int listener, sockaddr_storage &peer);
// send() that reports a closed peer as an error instead of raising SIGPIPE.
ssize_t send(int socket, const char *data, size_t size);

} // namespace NativeSocket
