#pragma once

#include <QStringView>

// Defence against DNS rebinding: a web page on the DJ's computer can point its own DNS name at this
// connector, but the browser still names that page's host in the Host header. The phone app reaches
// the connector by IP address or by its DNS-SD ".local" name, so only those, "localhost" and
// requests without a Host header are answered.
namespace HostGuard {

// Whether a request with this Host header value (trimmed; empty when absent) may be answered:
// an IPv4 literal, a bracketed IPv6 literal, "localhost" or a name ending in ".local", in any
// letter case, with or without a port and a trailing dot.
bool allows(QStringView host);

} // namespace HostGuard
