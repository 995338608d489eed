#include "nowplaying/nowplayingtext.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace NowPlayingText {

namespace {

constexpr QLatin1StringView kAudioExtensions[] = {"mp3"_L1,  "wav"_L1, "aif"_L1, "aiff"_L1, "m4a"_L1,
                                                  "flac"_L1, "aac"_L1, "ogg"_L1, "mp4"_L1};
constexpr QLatin1StringView kHistoryMarker = "#EXTVDJ:"_L1;
constexpr QLatin1StringView kTitleSeparator = " - "_L1;

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

QString pathExtension(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = component.lastIndexOf(u'.');
    return dot < 0 ? QString() : component.mid(dot + 1);
}

bool isAudioPath(const QString &path)
{
    const QString extension = pathExtension(path).toLower();
    for (const QLatin1StringView audio : kAudioExtensions) {
        if (extension == audio)
            return true;
    }
    return false;
}

FilenameParts filenameParts(const QString &name)
{
    // Unicode properties so that "\s" also matches the non-ASCII spaces of file names.
    static const QRegularExpression trailingIdentifier(u"\\s*\\[[A-Za-z0-9_-]{6,}\\]\\s*$"_s,
                                                       QRegularExpression::UseUnicodePropertiesOption);
    QString cleaned = name;
    cleaned.remove(trailingIdentifier);
    const qsizetype separator = cleaned.indexOf(kTitleSeparator);
    if (separator < 0)
        return {cleaned, std::nullopt};
    return {cleaned.mid(separator + kTitleSeparator.size()), cleaned.left(separator)};
}

QString titleForPath(const QString &path)
{
    const QString component = lastPathComponent(path);
    // A leading full stop starts a hidden name, not an extension.
    const qsizetype dot = component.lastIndexOf(u'.');
    return filenameParts(dot > 0 ? component.left(dot) : component).title;
}

std::optional<QString> value(const QString &name, const QString &text)
{
    const QString openTag = u'<' + name + u'>';
    const QString closeTag = "</"_L1 + name + u'>';
    const qsizetype open = text.indexOf(openTag);
    if (open < 0)
        return std::nullopt;
    const qsizetype start = open + openTag.size();
    const qsizetype close = text.indexOf(closeTag, start);
    if (close < 0)
        return std::nullopt;
    QString inner = text.mid(start, close - start);
    // "&amp;" goes last so that an escaped entity such as "&amp;lt;" stays "&lt;".
    inner.replace("&lt;"_L1, "<"_L1);
    inner.replace("&gt;"_L1, ">"_L1);
    inner.replace("&quot;"_L1, "\""_L1);
    inner.replace("&apos;"_L1, "'"_L1);
    inner.replace("&amp;"_L1, "&"_L1);
    return inner.trimmed();
}

std::optional<QString> historyTitle(const QString &playlistText)
{
    const QStringList lines = playlistText.split(u'\n', Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->contains(kHistoryMarker))
            continue;
        std::optional<QString> title = value(u"title"_s, *line);
        if (!title || title->isEmpty())
            continue;
        const std::optional<QString> artist = value(u"artist"_s, *line);
        if (artist && !artist->isEmpty() && title->toLower().startsWith(artist->toLower() + kTitleSeparator))
            title->remove(0, artist->size() + kTitleSeparator.size());
        return title;
    }
    return std::nullopt;
}

} // namespace NowPlayingText
