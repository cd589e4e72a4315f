#include "host/NetworkHelper.h"
#include "host/NetAddr.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace Vor {

std::vector<NetworkInterface> NetworkHelper::getNetworkInterfaces() {
    std::vector<NetworkInterface> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    auto entryFor = [&result](const char* name) -> NetworkInterface& {
        auto it = std::find_if(result.begin(), result.end(),
                               [&](const NetworkInterface& i) { return i.id == name; });
        if (it != result.end())
            return *it;
        result.emplace_back();
        result.back().id = name;
        result.back().name = name;
        return result.back();
    };
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_name == nullptr)
            continue;
        NetworkInterface& itf = entryFor(a->ifa_name);
        itf.isUp = (a->ifa_flags & IFF_UP) != 0;
        itf.isLoopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        if (a->ifa_addr == nullptr)
            continue;
        if (a->ifa_addr->sa_family == AF_PACKET) {
            auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            if (ll->sll_halen == 6)
                itf.macAddress = Net::NetAddr(ll->sll_addr, 6, ':').to_string(':');
        } else if (a->ifa_addr->sa_family == AF_INET) {
            char addr[INET_ADDRSTRLEN] = {0};
            char mask[INET_ADDRSTRLEN] = {0};
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, addr,
                      sizeof addr);
            if (a->ifa_netmask != nullptr)
                inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr, mask,
                          sizeof mask);
            itf.addresses.push_back({addr, mask});
        }
    }
    freeifaddrs(list);
    return result;
}

} // namespace Vor
