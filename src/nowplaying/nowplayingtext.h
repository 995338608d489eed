#pragma once

#include <QString>

#include <optional>

// Pure text rules behind the now-playing title: which paths are audio, how a file name becomes a
// title, and how a VirtualDJ history playlist names its last track. Callable from any thread.
namespace NowPlayingText {

struct FilenameParts
{
    QString title;
    // The text before the first separator, when there is one.
    std::optional<QString> artist;
};

// The text after the last full stop of the last path component; empty when there is none.
QString pathExtension(const QString &path);
// Whether the path's extension, lower-cased, is one of the audio file extensions.
bool isAudioPath(const QString &path);

// Drops a trailing bracketed identifier of six or more characters, then takes everything after
// the first " - " as the title (the whole cleaned name when there is no separator).
FilenameParts filenameParts(const QString &name);
// The title for an open file: its last path component without the extension, through filenameParts.
QString titleForPath(const QString &path);

// The entity-decoded, trimmed text of the first <name>…</name> in the text.
std::optional<QString> value(const QString &name, const QString &text);
// The title of the last "#EXTVDJ:" line with a non-empty title, without a leading "artist - ".
std::optional<QString> historyTitle(const QString &playlistText);

} // namespace NowPlayingText
