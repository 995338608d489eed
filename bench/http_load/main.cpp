#include "benchserver.h"
#include "floorserver.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr auto kRunTime = std::chrono::seconds(3);
// 400 timed commands, so that the p99 is not just the second-worst of a few. Idle, they come one
// every 100 ms, longer than a note's hold: each command's note-off is then the MIDI timer's only
// deadline and wakes its thread, as a DJ's taps seconds apart do. While the status is polled, one
// every 20 ms.
constexpr int kTimedCommands = 400;
constexpr auto kIdleGap = std::chrono::milliseconds(100);
constexpr auto kPolledGap = std::chrono::milliseconds(20);

// The load clients and pollers run at the lowest priority, so that the server's thread and the timed
// command client take a core whenever they have work: phones poll from other machines, and a figure
// of the server must not include the time its own load takes from it on the same cores. Off with
// --equal-priority. Set in main, before any client thread starts.
bool g_loadAtLowestPriority = true;

void lowerPriorityOfLoadClient()
{
    if (g_loadAtLowestPriority)
        ::setpriority(PRIO_PROCESS, ::gettid(), 19);
}

struct Figures
{
    std::vector<double> latenciesMs;
    int failures = 0;
    double seconds = 0;
};

// One request on a fresh connection, read until the server closes: the answer's bytes.
std::string answerTo(quint16 port, const std::string &request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
    std::string received;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0
        && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[4096];
        for (ssize_t count; (count = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;)
            received.append(buffer, size_t(count));
    }
    ::close(fd);
    return received;
}

// The latency of one exchange in ms, or a negative number when it failed or the answer was not 200.
double timedExchange(quint16 port, const std::string &request)
{
    const SteadyClock::time_point begin = SteadyClock::now();
    if (answerTo(port, request).rfind("HTTP/1.1 200 ", 0) != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - begin).count();
}

std::string request(const std::string &method, const std::string &path, const std::string &token,
                    const std::string &body = {})
{
    std::string text =
        method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token + "\r\n";
    if (!body.empty())
        text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

std::string command(int index, const std::string &token)
{
    return request("POST", "/api/command", token,
                   index % 2 ? R"({"command":"pause","deck":"left"})"
                             : R"({"command":"play","deck":"left"})");
}

// Each client sends requests back to back for the run time.
Figures load(quint16 port, int clients, const std::string &token, bool commands)
{
    std::vector<std::vector<double>> perClient(static_cast<size_t>(clients));
    std::atomic<int> failures = 0;
    const SteadyClock::time_point begin = SteadyClock::now();
    const SteadyClock::time_point end = begin + kRunTime;
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            lowerPriorityOfLoadClient();
            const std::string status = request("GET", "/api/status", token);
            for (int index = 0; SteadyClock::now() < end; ++index) {
                const double latency = timedExchange(port, commands ? command(index, token) : status);
                if (latency < 0)
                    ++failures;
                else
                    perClient[size_t(client)].push_back(latency);
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    Figures figures;
    figures.seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    figures.failures = failures;
    for (const std::vector<double> &latencies : perClient)
        figures.latenciesMs.insert(figures.latenciesMs.end(), latencies.begin(), latencies.end());
    return figures;
}

// The timed commands from the calling thread while the pollers, if any, hammer the status.
Figures commandsUnderPolling(quint16 port, int pollers, const std::string &token)
{
    std::atomic<bool> running = true;
    std::atomic<int> polls = 0;
    std::vector<std::thread> threads;
    for (int poller = 0; poller < pollers; ++poller) {
        threads.emplace_back([&] {
            lowerPriorityOfLoadClient();
            const std::string status = request("GET", "/api/status", token);
            while (running) {
                timedExchange(port, status);
                ++polls;
            }
        });
    }
    Figures figures;
    const SteadyClock::time_point begin = SteadyClock::now();
    for (int index = 0; index < kTimedCommands; ++index) {
        const double latency = timedExchange(port, command(index, token));
        if (latency < 0)
            ++figures.failures;
        else
            figures.latenciesMs.push_back(latency);
        std::this_thread::sleep_for(pollers > 0 ? kPolledGap : kIdleGap);
    }
    running = false;
    for (std::thread &thread : threads)
        thread.join();
    figures.seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    if (pollers > 0)
        std::printf("  (status polls meanwhile: %d, %.0f/s)\n", polls.load(), polls / figures.seconds);
    return figures;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

void print(const char *label, const Figures &figures)
{
    std::printf("%-44s %7zu requests %8.0f req/s   median %6.2f ms   p99 %6.2f ms   failures %d\n", label,
                figures.latenciesMs.size(), double(figures.latenciesMs.size()) / figures.seconds,
                percentile(figures.latenciesMs, 0.5), percentile(figures.latenciesMs, 0.99),
                figures.failures);
    std::fflush(stdout);
}

} // namespace

// Connection-per-request load against a real RemoteServer on 127.0.0.1: throughput and latency of
// GET /api/status and POST /api/command with 1 and 16 clients, and the latency of a DJ's command,
// idle and while 16 clients poll the status as fast as they can. The timed command lines are
// repeated against a bare epoll server that answers the connector's bytes: the machine's floor.
//
//   build/release/bin/bench_http_load [--equal-priority]
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    g_loadAtLowestPriority = std::find(argv + 1, argv + argc, std::string_view("--equal-priority")) == argv + argc;
    const BenchServer server;
    const quint16 port = server.port;
    if (port == 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const std::string &token = server.token;
    std::printf("bench_http_load: RemoteServer on 127.0.0.1:%u, connection per request, %lld s per figure"
                "; %d timed commands\n",
                port, static_cast<long long>(kRunTime.count()), kTimedCommands);
    std::printf(g_loadAtLowestPriority
                    ? "load clients and pollers at nice 19; the server and the timed command client at normal priority\n"
                    : "every client at the server's priority (--equal-priority)\n");

    std::thread bench([&] {
        print("GET /api/status, 1 client", load(port, 1, token, false));
        print("GET /api/status, 16 clients", load(port, 16, token, false));
        print("POST /api/command, 1 client", load(port, 1, token, true));
        print("POST /api/command, 16 clients", load(port, 16, token, true));
        print("POST /api/command every 100 ms, idle", commandsUnderPolling(port, 0, token));
        print("POST /api/command every 20 ms while 16 poll", commandsUnderPolling(port, 16, token));
        const FloorServer floor(answerTo(port, request("GET", "/api/status", token)),
                                answerTo(port, command(0, token)));
        if (floor.port() == 0) {
            std::fprintf(stderr, "the floor server did not start\n");
        } else {
            print("floor: the same every 100 ms, idle", commandsUnderPolling(floor.port(), 0, token));
            print("floor: the same every 20 ms while 16 poll", commandsUnderPolling(floor.port(), 16, token));
        }
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int result = application.exec();
    bench.join();
    return result;
}
