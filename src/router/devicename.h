#pragma once

#include <QString>

// "Unknown device": the name of a device that sent no usable User-Agent.
QString unknownDeviceName();

// The name of the first product in a User-Agent header, percent-decoded, without control characters
// and at most 64 characters long: "Tarvik%20DJ%20Remote/42 CFNetwork/1494.0.7 Darwin/23.4.0" gives
// "Tarvik DJ Remote". unknownDeviceName() when nothing usable is left.
QString deviceNameFromUserAgent(const QString &userAgent);

// A name without control characters, trimmed and capped; unknownDeviceName() when that leaves nothing.
QString cleanDeviceName(const QString &name);
