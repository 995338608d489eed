#include "floorserver.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The request is complete once its header has ended and Content-Length bytes followed.
bool complete(const std::string &request)
{
    const size_t headerEnd = request.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return false;
    size_t length = 0;
    const size_t field = request.find("Content-Length: ");
    if (field != std::string::npos && field < headerEnd)
        length = std::strtoul(request.c_str() + field + 16, nullptr, 10);
    return request.size() >= headerEnd + 4 + length;
}

} // namespace

FloorServer::FloorServer(std::string getAnswer, std::string otherAnswer)
    : m_getAnswer(std::move(getAnswer))
    , m_otherAnswer(std::move(otherAnswer))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(m_listener, 256) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return;
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_listener;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listener, &event);
    event.data.fd = m_stop;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_stop, &event);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FloorServer::~FloorServer()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_stop, &one, sizeof(one));
        m_thread.join();
    }
    for (const int descriptor : {m_listener, m_epoll, m_stop})
        if (descriptor >= 0)
            ::close(descriptor);
}

void FloorServer::serve()
{
    std::unordered_map<int, std::string> requests;
    epoll_event events[64];
    char buffer[4096];
    for (;;) {
        const int count = ::epoll_wait(m_epoll, events, 64, -1);
        for (int index = 0; index < count; ++index) {
            const int descriptor = events[index].data.fd;
            if (descriptor == m_stop) {
                for (const auto &[socket, request] : requests)
                    ::close(socket);
                return;
            }
            if (descriptor == m_listener) {
                int socket;
                while ((socket = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.fd = socket;
                    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event);
                    requests[socket];
                }
                continue;
            }
            std::string &request = requests[descriptor];
            ssize_t received;
            while ((received = ::recv(descriptor, buffer, sizeof(buffer), 0)) > 0)
                request.append(buffer, size_t(received));
            if (complete(request) || received == 0) {
                // Small canned answers fit the socket buffer whole, as the connector's do.
                const std::string &answer = request.rfind("GET ", 0) == 0 ? m_getAnswer : m_otherAnswer;
                if (received != 0)
                    ::send(descriptor, answer.data(), answer.size(), MSG_NOSIGNAL);
                ::close(descriptor);
                requests.erase(descriptor);
            }
        }
    }
}
