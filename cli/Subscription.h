#pragma once
// What the GOOSE and Sampled Values commands share: the interface, the SCL file, the filters both
// protocols have, the limits of a run and the checks before it starts.
#include "cli/CliOptions.h"
#include "host/Nullable.h"
#include "scl/SclRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace iecx::cli {

struct SubscriptionOptions : RunOptions {
    std::string iface;
    std::string scl;
    Vor::Nullable<uint64_t> confRev;
    Vor::Nullable<std::string> dstMac;

    // IFACE and --scl FILE (sclText: what the file gives).
    void addSource(CLI::App& app, const std::string& sclText);
    // --confrev and --dst-mac.
    void addFilters(CLI::App& app);

    // IFACE as the subscribers take it (empty for 'any'). false, with the reason on stderr, when
    // the machine has no such interface.
    bool interfaceName(const std::string& command, std::string& name) const;
    // false, with the reason on stderr, when this process may not open raw Ethernet sockets.
    static bool rawAccess(const std::string& command);
    // The connected access points of the SCL file; false with the reason on stderr.
    bool readScl(const std::string& command, std::vector<VorIec61850::tConnectedAP>& aps) const;
};

} // namespace iecx::cli
