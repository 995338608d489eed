// A stand-in for the DJ software: takes the given process name, maps or opens the given files, prints
// "ready" and waits until its standard input closes.
// Usage: nowplaying_openfilesholder NAME [--map FILE] FILE...

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2 || ::prctl(PR_SET_NAME, argv[1]) != 0)
        return 2;
    for (int index = 2; index < argc; ++index) {
        const bool map = std::strcmp(argv[index], "--map") == 0 && index + 1 < argc;
        if (map)
            ++index;
        const int file = ::open(argv[index], O_RDONLY);
        if (file < 0)
            return 1;
        // A mapped file stays visible through the mapping alone once its descriptor is closed.
        if (map && (::mmap(nullptr, 1, PROT_READ, MAP_SHARED, file, 0) == MAP_FAILED || ::close(file) != 0))
            return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    char buffer[256];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
