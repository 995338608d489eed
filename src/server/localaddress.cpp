#include "server/localaddress.h"

#include <algorithm>

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace LocalAddress {

namespace {

int priority(const QString &interfaceName)
{
    if (interfaceName == "en0"_L1)
        return 0;
    if (interfaceName.startsWith("en"_L1))
        return 1;
    if (interfaceName.startsWith("bridge"_L1))
        return 3;
    return 2;
}

} // namespace

std::optional<QString> choosePreferredIPv4Address(const QList<InterfaceAddress> &entries)
{
    QList<std::pair<int, QString>> candidates;
    for (const InterfaceAddress &entry : entries) {
        // Whether the interface is running is deliberately not examined.
        if ((entry.flags & (IFF_UP | IFF_LOOPBACK)) == IFF_UP)
            candidates.append({priority(entry.interfaceName), entry.ipv4});
    }
    if (candidates.isEmpty())
        return std::nullopt;
    return std::min_element(candidates.cbegin(), candidates.cend())->second;
}

QList<InterfaceAddress> systemIPv4Addresses()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    QList<InterfaceAddress> entries;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char host[NI_MAXHOST] = {};
        if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), host, sizeof(host), nullptr, 0, NI_NUMERICHOST)
            != 0)
            continue;
        entries.append({QString::fromUtf8(entry->ifa_name), entry->ifa_flags, QString::fromLatin1(host)});
    }
    freeifaddrs(list);
    return entries;
}

} // namespace LocalAddress

std::optional<QString> preferredLocalIPv4Address()
{
    return LocalAddress::choosePreferredIPv4Address(LocalAddress::systemIPv4Addresses());
}
