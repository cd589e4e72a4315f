#pragma once
#include "mms/MmsPath.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VorIec61850 {

// What to poll by MMS reads: object paths with FC, the IED (TCP port 102) and the pause between
// two polling cycles in milliseconds.
class MmsPollingTarget {
public:
    MmsPollingTarget() = default;
    MmsPollingTarget(const std::string& host, uint64_t period) : host(host), period(period) {}

    std::vector<MmsPath> paths;
    std::string host;
    uint64_t period = 0;
};

} // namespace VorIec61850
