#pragma once

#include "core/djplatform.h"

#include <QString>

#include <optional>

// The text the pairing QR code carries, e.g.
// tarvikdjremote://pair?platform=serato&address=http://192.168.1.20:53731&code=123456
// None while the code is not six characters or the address is not yet an http address.
std::optional<QString> pairingPayload(DJPlatform platform, const QString &remoteAddress,
                                      const QString &pairingCode);
