#pragma once
#include "cid/Publications.h"
#include "host/Nullable.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace VorIec61850 {

// What to subscribe to for Sampled Values. An absent criterion is not checked. The fields
// marked "host" are the host's own and are only carried.
struct SvIn {
    Vor::Nullable<std::string> description;            // host
    Vor::Nullable<std::string> srcMac;                 // host
    Vor::Nullable<uint64_t> hostNumber;                // host
    Vor::Nullable<std::array<uint8_t, 12>> hostBytes1; // host
    Vor::Nullable<std::array<uint8_t, 12>> hostBytes2; // host
    // APPID; its value is handed to the stack whether or not it is set.
    Vor::Nullable<int64_t> appId;
    // Destination MAC in colon form; when present the receiver checks destination addresses.
    Vor::Nullable<std::string> dstMac;
    Vor::Nullable<bool> hostFlag;    // host
    Vor::Nullable<std::string> svId; // svID filter
    Vor::Nullable<uint64_t> confRev; // confRev filter
    std::string hostText1;           // host
    // Interface to listen on; empty listens on all interfaces.
    std::string interfaceName;
    std::string hostText2; // host
    // Published channels; copied with the target, not read by the subscription.
    std::vector<SvChannel> channels;
};

} // namespace VorIec61850
