#pragma once
// Small helpers shared by the commands.
#include <cstdint>
#include <string>

namespace iecx::cli {

// true when this process may open raw Ethernet sockets (root or CAP_NET_RAW).
bool canOpenRawSocket();
// true when the machine has a network interface of that name.
bool interfaceExists(const std::string& name);
// A whole unsigned number in decimal, or hexadecimal with 0x; false for anything else.
bool parseUnsigned(const std::string& text, uint64_t& out);

} // namespace iecx::cli
