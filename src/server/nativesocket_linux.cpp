#include "server/nativesocket.h"

#include <algorithm>
#include <array>

#include <sys/epoll.h>
#include <unistd.h>

namespace NativeSocket {

namespace {

unsigned epollEvents(unsigned interest)
{
    return ((interest & readable) ? unsigned(EPOLLIN) : 0U) | ((interest & writable) ? unsigned(EPOLLOUT) : 0U);
}

} // namespace

ReadinessQueue::ReadinessQueue()
    : m_descriptor(::epoll_create1(EPOLL_CLOEXEC))
{}

ReadinessQueue::~ReadinessQueue()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool ReadinessQueue::watch(int socket, unsigned from, unsigned to)
{
    if (from == to)
        return true;
    epoll_event event{};
    event.events = epollEvents(to);
    event.data.fd = socket;
    const int operation = from == none ? EPOLL_CTL_ADD : to == none ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
    return ::epoll_ctl(m_descriptor, operation, socket, &event) == 0;
}

int ReadinessQueue::take(std::span<Event> events)
{
    std::array<epoll_event, 64> ready;
    const int count = ::epoll_wait(m_descriptor, ready.data(), int(std::min(ready.size(), events.size())), 0);
    for (int index = 0; index < count; ++index) {
        const unsigned flags = ready[size_t(index)].events;
        events[size_t(index)] = {ready[size_t(index)].data.fd, (flags & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0,
                                 (flags & EPOLLOUT) != 0};
    }
    return count < 0 ? 0 : count;
}

int accept(int listener, sockaddr_storage &peer)
{
    socklen_t length = sizeof(peer);
    return ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

ssize_t send(int socket, const char *data, size_t size)
{
    return ::send(socket, data, size, MSG_NOSIGNAL);
}

} // namespace NativeSocket
