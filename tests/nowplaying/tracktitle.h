#pragma once

#include "core/trackinfo.h"

#include <optional>

// The title of an answer, "(none)" for no track, so that QCOMPARE prints what it compares.
inline QString titleOf(const std::optional<TrackInfo> &track)
{
    return track ? track->title : QStringLiteral("(none)");
}
