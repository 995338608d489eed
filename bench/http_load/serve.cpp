#include "benchserver.h"

#include <QCoreApplication>

#include <cstdio>

// Serves the remote API for benchmarks run from outside (versus_nginx): prints "PORT TOKEN" on one
// line once it listens, then answers until it is terminated.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const BenchServer bench;
    if (bench.port == 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    std::printf("%u %s\n", bench.port, bench.token.c_str());
    std::fflush(stdout);
    return application.exec();
}
