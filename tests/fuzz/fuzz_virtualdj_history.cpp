#include "fuzzcheck.h"
#include "nowplaying/virtualdjhistory.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// The input is tonight's history playlist, read through the file as the monitor reads it: a track
// found has a title.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // In memory: rewriting a file on disk waits for the disk, and would make that the cost.
    static const QTemporaryDir folder(u"/dev/shm/tarvik-fuzz-XXXXXX"_s);
    QFile playlist(folder.filePath(u"tonight.m3u"_s));
    if (!playlist.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    playlist.write(reinterpret_cast<const char *>(data), qsizetype(size));
    playlist.close();
    const auto track = VirtualDJHistory::newestTrack(folder.path(), QDateTime::currentMSecsSinceEpoch());
    fuzzCheck(!track || !track->title.isEmpty(), "a non-empty title");
    return 0;
}
