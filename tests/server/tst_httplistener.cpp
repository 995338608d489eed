#include "server/httplistener.h"

#include "serverharness.h"

#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Whether the server's system has taken every byte written on the socket (it has acknowledged them).
bool takenByServer(const QTcpSocket &socket)
{
    tcp_info info{};
    socklen_t size = sizeof(info);
    return ::getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) == 0
           && info.tcpi_unacked == 0;
}

} // namespace

// The listener on its own thread over loopback TCP, with a handler that notes the order of answers.
class HTTPListenerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_changesBeforeReadsThatCameWithThem();
};

void HTTPListenerTest::answers_changesBeforeReadsThatCameWithThem()
{
    // Guards a DJ's tap queued behind status polls on the one server thread.
    QSemaphore entered;
    QSemaphore resume;
    QMutex mutex;
    QStringList answered;
    const auto handler = [&](const HTTPRequest &request, const QHostAddress &) {
        if (request.path == "/first"_L1) {
            entered.release();
            resume.acquire();
        }
        const QMutexLocker locker(&mutex);
        answered.append(request.method + u' ' + request.path);
        return HTTPResponse::json(200, {{u"ok"_s, true}});
    };
    QThread thread;
    thread.start();
    QObject context;
    context.moveToThread(&thread);
    quint16 port = 0;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            auto *listener = new HTTPListener(handler, HTTPListener::Limits{64, 256, 10s}, &context);
            if (listener->listen(QHostAddress::LocalHost, 0))
                port = listener->port();
        },
        Qt::BlockingQueuedConnection);
    QVERIFY(port != 0);

    // The server is busy with a first request while polls and then a command come in, complete.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    clients.push_back(connectTo(port));
    clients.back()->write("GET /first HTTP/1.1\r\n\r\n");
    QVERIFY(clients.back()->waitForBytesWritten(10'000));
    QVERIFY(entered.tryAcquire(1, 30'000));
    for (const QByteArray &request : {"GET /poll HTTP/1.1\r\n\r\n"_ba, "GET /poll HTTP/1.1\r\n\r\n"_ba,
                                     "POST /command HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"_ba}) {
        clients.push_back(connectTo(port));
        clients.back()->write(request);
        QVERIFY(clients.back()->waitForBytesWritten(10'000));
        QTRY_VERIFY_WITH_TIMEOUT(takenByServer(*clients.back()), 30'000);
    }
    resume.release();
    for (const std::unique_ptr<QTcpSocket> &client : clients)
        QCOMPARE(statusOf(readUntilClosed(*client)), 200);
    QMetaObject::invokeMethod(
        &context, [&] { qDeleteAll(context.children()); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    QCOMPARE(answered, QStringList({u"GET /first"_s, u"POST /command"_s, u"GET /poll"_s, u"GET /poll"_s}));
}

QTEST_GUILESS_MAIN(HTTPListenerTest)
#include "tst_httplistener.moc"
