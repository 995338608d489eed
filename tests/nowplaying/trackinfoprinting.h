#pragma once

#include "core/trackinfo.h"

#include <QTest>

#include <optional>

// Lets QCOMPARE print the tracks it compares (found by argument-dependent lookup).
inline char *toString(const TrackInfo &track)
{
    const QString text = u'"' + track.title + u'"'
                         + (track.artist ? QStringLiteral(" by \"") + *track.artist + u'"' : QString());
    return QTest::toString(text);
}

inline char *toString(const std::optional<TrackInfo> &track)
{
    return track ? toString(*track) : qstrdup("no track");
}
