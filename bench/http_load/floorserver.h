#pragma once

#include <atomic>
#include <string>
#include <thread>

// The least an HTTP server on this machine can do: one epoll thread that accepts, reads a request to
// its end and writes canned bytes, then closes. Its figures are the floor under the connector's, so
// that the machine's own wake-up and loopback latency is not taken for the server's.
class FloorServer
{
public:
    // Answers GET requests with getAnswer and every other request with otherAnswer.
    FloorServer(std::string getAnswer, std::string otherAnswer);
    ~FloorServer();
    FloorServer(const FloorServer &) = delete;
    FloorServer &operator=(const FloorServer &) = delete;

    // 0 when it could not listen.
    unsigned short port() const { return m_port; }

private:
    void serve();

    const std::string m_getAnswer;
    const std::string m_otherAnswer;
    int m_listener = -1;
    int m_epoll = -1;
    int m_stop = -1;
    unsigned short m_port = 0;
    std::thread m_thread;
};
