#pragma once
#include "host/Nullable.h"
#include "mms/MmsPath.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace VorIec61850 {

// Matching and filtering criteria of a GOOSE subscription. An absent criterion is not checked.
// The fields marked "host" are the host's own and are only carried.
struct GooseIdentifer {
    Vor::Nullable<std::string> description;            // host
    Vor::Nullable<std::string> dstMac;                 // "01:0C:CD:01:00:01"
    Vor::Nullable<uint64_t> hostNumber;                // host
    Vor::Nullable<std::array<uint8_t, 12>> hostBytes1; // host
    Vor::Nullable<std::array<uint8_t, 12>> hostBytes2; // host
    Vor::Nullable<int64_t> appId;                      // APPID
    Vor::Nullable<bool> hostFlag;                      // host
    Vor::Nullable<std::string> goCbRef;                // GOOSE control block reference
    Vor::Nullable<std::string> dataSetReference;       // host
    Vor::Nullable<std::string> goId;                   // GoID
    Vor::Nullable<bool> test;                          // required test flag
    Vor::Nullable<uint64_t> confRev;                   // configuration revision
};

// What to subscribe to for GOOSE.
struct GooseIn {
    // Wanted members of the data set (object paths with FC), in value list order.
    std::vector<MmsPath> paths;
    GooseIdentifer identifier;
    // The data set as FCDAElement XML text.
    std::string dataSetXml;
    // Interface to listen on; empty listens on all interfaces.
    std::string interfaceName;
};

} // namespace VorIec61850
