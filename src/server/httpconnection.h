#pragma once

#include "server/httprequest.h"
#include "server/httprequestparser.h"
#include "server/httpresponse.h"

#include <QByteArray>
#include <QHostAddress>

#include <chrono>
#include <span>

// One accepted TCP connection: reads one request, answers it once and closes. Owns a non-blocking
// native socket; HTTPListener watches it and calls in when it is ready. Lives on the server thread.
class HTTPConnection
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr qint64 kMaxReadSize = 65536;
    // A peer that has not sent a whole request by then is dropped without an answer; one that does
    // not take its answer within the same time again is dropped too.
    static constexpr std::chrono::milliseconds kDefaultDeadline{10'000};

    enum class Phase {
        reading,
        // A whole request is in; the listener answers it.
        requestReady,
        sending,
        // The answer is out and the sending side shut; reading on until the peer closes.
        draining,
        finished,
    };

    // Takes ownership of the socket and closes it when destroyed.
    HTTPConnection(int socket, const QHostAddress &peer, std::chrono::milliseconds deadline);
    ~HTTPConnection();
    HTTPConnection(const HTTPConnection &) = delete;
    HTTPConnection &operator=(const HTTPConnection &) = delete;

    int socket() const { return m_socket; }
    const QHostAddress &peer() const { return m_peer; }
    Phase phase() const { return m_phase; }
    Clock::time_point deadline() const { return m_deadline; }
    // The request once the phase is requestReady.
    const HTTPRequest &request() const { return m_request; }
    bool wantsToRead() const;
    bool wantsToWrite() const { return m_phase == Phase::sending; }

    // Reads what has arrived, at most kMaxReadSize at a time into the scratch space.
    void readAvailable(std::span<char> scratch);
    // Sends the answer to the request; the connection finishes once it is all with the system.
    void answer(const HTTPResponse &response);
    void writeAvailable();

private:
    enum class AfterSending { close, drainInput };

    void parse(QByteArrayView bytes);
    void send(QByteArray bytes, AfterSending after);
    void peerFinished();

    int m_socket;
    QHostAddress m_peer;
    std::chrono::milliseconds m_deadlineAfter;
    Clock::time_point m_deadline;
    HTTPRequestParser m_parser;
    HTTPRequest m_request;
    Phase m_phase = Phase::reading;
    bool m_peerSending = true;
    AfterSending m_afterSending = AfterSending::close;
    QByteArray m_output;
    qsizetype m_sent = 0;
};
