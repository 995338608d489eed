#include "fuzzcheck.h"
#include "nowplaying/virtualdjhistory.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// The input is tonight's history playlist, read through the file as the monitor reads it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // In memory: rewriting a file on disk waits for the disk, and would make that the cost.
    static const QTemporaryDir folder(u"/dev/shm/tarvik-fuzz-XXXXXX"_s);
    QFile playlist(folder.filePath(u"tonight.m3u"_s));
    if (!playlist.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    playlist.write(reinterpret_cast<const char *>(data), qsizetype(size));
    playlist.close();

    const std::optional<TrackInfo> track =
        VirtualDJHistory::newestTrack(folder.path(), QDateTime::currentMSecsSinceEpoch());
    // Only the whole title is trimmed: what follows a removed "artist - " is kept as it is.
    if (track)
        fuzzCheck(!track->title.isEmpty(), "a non-empty title");
    return 0;
}
