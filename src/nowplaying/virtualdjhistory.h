#pragma once

#include "core/trackinfo.h"

#include <QString>

#include <optional>

// Reads VirtualDJ's play history: the last track of its newest playlist. Stateless; callable from
// any thread.
namespace VirtualDJHistory {

// A playlist modified this long ago or longer is a past event, not tonight's.
inline constexpr qint64 kFreshnessLimitMSecs = 43'200'000;

// The last played track of the newest visible ".m3u" file in the folder (ties go to the file whose
// name sorts first), or nothing when that file is 12 hours old or older, cannot be read as UTF-8
// or names no track.
std::optional<TrackInfo> newestTrack(const QString &folder, qint64 nowMSecsSinceEpoch);

} // namespace VirtualDJHistory
