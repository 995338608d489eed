#pragma once

#include "server/httprequest.h"
#include "server/httprequestparser.h"
#include "server/httpresponse.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QTcpSocket;

// One accepted TCP connection: reads one request, answers it once and closes. Lives on the server
// thread; every call and socket signal arrives there.
class HTTPConnection : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HTTPResponse(const HTTPRequest &)>;

    static constexpr qint64 kMaxReadSize = 65536;
    // A peer that has not sent a whole request by then is dropped without an answer; one that does
    // not take its answer within the same time again is dropped too.
    static constexpr std::chrono::milliseconds kDefaultDeadline{10'000};

    // Takes ownership of the socket. onFinish runs exactly once, when the connection is done;
    // destroying the connection before that does not call it.
    HTTPConnection(QTcpSocket *socket, Handler handler, std::function<void()> onFinish,
                   std::chrono::milliseconds deadline = kDefaultDeadline, QObject *parent = nullptr);

    void start();

private:
    enum class Phase { reading, sending, draining, finished };
    enum class AfterSending { close, drainInput };

    void readAvailable();
    void send(const HTTPResponse &response, AfterSending after);
    void closeOutputWhenSent();
    void finish();

    QTcpSocket *m_socket;
    Handler m_handler;
    std::function<void()> m_onFinish;
    std::chrono::milliseconds m_deadline;
    QTimer m_deadlineTimer;
    HTTPRequestParser m_parser;
    Phase m_phase = Phase::reading;
    AfterSending m_afterSending = AfterSending::close;
};
