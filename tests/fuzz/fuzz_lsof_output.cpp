#include "fuzzcheck.h"
#include "nowplaying/lsofopenfileslister.h"

// Whatever lsof prints: every path is the rest of one "n" line.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray output(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList paths = LsofOpenFilesLister::parsePaths(output);
    fuzzCheck(paths.size() <= output.count('n'), "at most one path per n line");
    for (const QString &path : paths)
        fuzzCheck(!path.contains(u'\n') && output.contains("n" + path.toUtf8()),
                  "each path is the rest of its line");
    return 0;
}
