#include "server/httplistener.h"
#include "server/remoteserver.h"

#include "serverharness.h"

#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// The listener on its own thread over loopback TCP, and a server in a process that never reached the
// DNS-SD library's system bus.
class HTTPListenerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_changesBeforeReadsThatCameWithThem()
    {
        // Guards a DJ's tap queued behind status polls on the one server thread.
        QSemaphore entered, resume;
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
                port = listener->listen(QHostAddress::LocalHost, 0) ? listener->port() : 0;
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(port != 0);

        // The server is busy with a first request while polls and then a command come in, complete.
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (const QByteArray &request :
             {"GET /first HTTP/1.1\r\n\r\n"_ba, "GET /poll HTTP/1.1\r\n\r\n"_ba,
              "GET /poll HTTP/1.1\r\n\r\n"_ba, "POST /command HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"_ba}) {
            clients.push_back(connectTo(port));
            clients.back()->write(request);
            QVERIFY(clients.back()->waitForBytesWritten(10'000));
            if (clients.size() == 1)
                QVERIFY(entered.tryAcquire(1, 30'000));
            else
                QTRY_VERIFY_WITH_TIMEOUT(takenByServer(*clients.back()), 30'000);
        }
        resume.release();
        for (const std::unique_ptr<QTcpSocket> &client : clients)
            QCOMPARE(statusOf(readUntilClosed(*client)), 200);
        QMetaObject::invokeMethod(
            &context, [&] { qDeleteAll(context.children()); }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        QCOMPARE(answered,
                 QStringList({u"GET /first"_s, u"POST /command"_s, u"GET /poll"_s, u"GET /poll"_s}));
    }

    void start_servesWithoutDiscovery()
    {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        RouterHarness harness;
        auto server = std::make_shared<RemoteServer>(
            DJPlatform::serato, harness.router, RemoteServer::Options{0, QHostAddress::LocalHost, {}, {}});
        QStringList lines;
        server->setOnStatus([&](const QString &line) { lines.append(line); });
        server->start();
        QTRY_COMPARE(lines.size(), 1);
        QCOMPARE(lines.first(),
                 u"Ready on private network port %1. Automatic discovery is unavailable; the manual "
                 u"address still works."_s.arg(server->serverPort()));
        QCOMPARE(statusOf(exchange(server->serverPort(), "GET / HTTP/1.1\r\n\r\n")), 200);
    }

private:
    // Whether the server's system has taken every byte written on the socket (it has acknowledged them).
    static bool takenByServer(const QTcpSocket &socket)
    {
        tcp_info info{};
        socklen_t size = sizeof(info);
        return ::getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) == 0
               && info.tcpi_unacked == 0;
    }
};

QTEST_GUILESS_MAIN(HTTPListenerTest)
#include "tst_httplistener.moc"
