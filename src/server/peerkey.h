#pragma once

#include <QHostAddress>
#include <QString>

// The key under which a peer's connections and pairing guesses are counted: the IPv4 address (also
// when it arrives IPv4-mapped), or the /64 prefix of an IPv6 address, since one device picks
// addresses freely inside its prefix.
QString peerKey(const QHostAddress &address);

// A peer's address as people read it: an IPv4 dotted quad (also when it arrives IPv4-mapped), else
// plain IPv6 without a scope.
QString peerAddressText(const QHostAddress &address);
