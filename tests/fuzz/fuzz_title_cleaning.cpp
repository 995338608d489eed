#include "fuzzcheck.h"
#include "nowplaying/nowplayingtext.h"

using namespace Qt::StringLiterals;

// Any file name: cleaning only drops a trailing identifier, so artist, separator and title put back
// together start the name; the title of a path is its file name's.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const NowPlayingText::FilenameParts parts = NowPlayingText::filenameParts(name);
    const QString rejoined = parts.artist ? *parts.artist + u" - "_s + parts.title : parts.title;
    fuzzCheck(name.startsWith(rejoined), "artist and title come from the name, in order");
    fuzzCheck(!parts.artist || !parts.artist->contains(u" - "_s), "the artist ends at the first separator");
    const QString path = u"/Music/"_s + QString(name).remove(u'/');
    fuzzCheck(NowPlayingText::titleForPath(path).size() <= path.size(), "a title no longer than its path");
    return 0;
}
