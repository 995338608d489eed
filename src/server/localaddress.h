#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace LocalAddress {

// One IPv4 address of an interface as the system lists it; flags are the IFF_* bits.
struct InterfaceAddress
{
    QString interfaceName;
    unsigned int flags = 0;
    QString ipv4;
};

// The address a phone on the same network should use: interfaces that are up and not loopback,
// "en0" first, then other "en" interfaces, then anything else, bridges last; ties go to the address
// text that sorts first as a string.
std::optional<QString> choosePreferredIPv4Address(const QList<InterfaceAddress> &entries);

// This computer's IPv4 addresses, in the order the system gives them.
QList<InterfaceAddress> systemIPv4Addresses();

} // namespace LocalAddress

// The dotted-quad address to show and put into the pairing QR code, if this computer has one.
std::optional<QString> preferredLocalIPv4Address();
