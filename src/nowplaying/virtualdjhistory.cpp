#include "nowplaying/virtualdjhistory.h"

#include "nowplaying/nowplayingtext.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace VirtualDJHistory {

std::optional<TrackInfo> newestTrack(const QString &folder, qint64 nowMSecsSinceEpoch)
{
    // Hidden files are left out because the filter does not ask for them.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    std::optional<QFileInfo> newest;
    qint64 newestMSecs = 0;
    for (const QFileInfo &entry : entries) {
        if (NowPlayingText::pathExtension(entry.fileName()).toLower() != "m3u"_L1)
            continue;
        const QDateTime modified = entry.lastModified();
        if (!modified.isValid())
            continue;
        const qint64 modifiedMSecs = modified.toMSecsSinceEpoch();
        if (!newest || modifiedMSecs > newestMSecs) {
            newest = entry;
            newestMSecs = modifiedMSecs;
        }
    }
    if (!newest || nowMSecsSinceEpoch - newestMSecs >= kFreshnessLimitMSecs)
        return std::nullopt;

    QFile playlist(newest->filePath());
    if (!playlist.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = playlist.readAll();
    if (playlist.error() != QFileDevice::NoError)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    const std::optional<QString> title = NowPlayingText::historyTitle(text);
    if (!title)
        return std::nullopt;
    return TrackInfo{*title, std::nullopt};
}

} // namespace VirtualDJHistory
