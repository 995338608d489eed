#pragma once

#include "router/paireddevice.h"

#include <QString>

// What the window says of a paired device at `now`: "Connected", "Last seen 4 min ago" (minutes,
// hours, then days) or "Not seen since pairing".
QString presenceText(const PairedDevice &device, qint64 now);
