#pragma once
#include <string>
#include <vector>

namespace Vor {

// One network interface of this machine. `addresses` holds one entry per IPv4 address, each
// entry a list of texts whose first text is the address itself (the second is the netmask).
struct NetworkInterface {
    std::string id;         // interface name, as the Ethernet sockets take it ("eth0")
    std::string name;       // display name (the same as id on Linux)
    std::string macAddress; // colon form, upper-case hexadecimal; empty for interfaces without one
    std::vector<std::vector<std::string>> addresses;
    bool isUp = false;
    bool isLoopback = false;
};

class NetworkHelper {
public:
    // The interfaces of this machine in kernel order.
    static std::vector<NetworkInterface> getNetworkInterfaces();
};

} // namespace Vor
