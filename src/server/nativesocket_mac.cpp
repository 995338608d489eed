#include "server/nativesocket.h"

#include <algorithm>
#include <array>

#include <fcntl.h>
#include <sys/event.h>
#include <unistd.h>

namespace NativeSocket {

ReadinessQueue::ReadinessQueue()
    : m_descriptor(::kqueue())
{
    if (m_descriptor >= 0)
        ::fcntl(m_descriptor, F_SETFD, FD_CLOEXEC);
}

ReadinessQueue::~ReadinessQueue()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool ReadinessQueue::watch(int socket, unsigned from, unsigned to)
{
    std::array<struct kevent, 2> changes;
    int count = 0;
    for (const auto [interest, filter] : {std::pair{readable, EVFILT_READ}, std::pair{writable, EVFILT_WRITE}}) {
        if ((from & interest) != (to & interest)) {
            EV_SET(&changes[size_t(count++)], uintptr_t(socket), filter, (to & interest) ? EV_ADD : EV_DELETE, 0,
                   0, nullptr);
        }
    }
    return count == 0 || ::kevent(m_descriptor, changes.data(), count, nullptr, 0, nullptr) == 0;
}

int ReadinessQueue::take(std::span<Event> events)
{
    std::array<struct kevent, 64> ready;
    const timespec noWait{};
    const int count =
        ::kevent(m_descriptor, nullptr, 0, ready.data(), int(std::min(ready.size(), events.size())), &noWait);
    for (int index = 0; index < count; ++index) {
        const struct kevent &event = ready[size_t(index)];
        const bool failed = (event.flags & (EV_EOF | EV_ERROR)) != 0;
        events[size_t(index)] = {int(event.ident), event.filter == EVFILT_READ || failed,
                                 event.filter == EVFILT_WRITE};
    }
    return count < 0 ? 0 : count;
}

int accept(int listener, sockaddr_storage &peer)
{
    socklen_t length = sizeof(peer);
    const int socket = ::accept(listener, reinterpret_cast<sockaddr *>(&peer), &length);
    if (socket < 0)
        return socket;
    const int on = 1;
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof(on));
    return socket;
}

ssize_t send(int socket, const char *data, size_t size)
{
    return ::send(socket, data, size, 0);
}

} // namespace NativeSocket
