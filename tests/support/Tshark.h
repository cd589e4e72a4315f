#pragma once
// Runs tshark on capture files so that tests can check what we put on the wire with an
// independent dissector. Every run has a time limit. Tests skip with IECX_REQUIRE_TSHARK() when
// tshark is not installed.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace iecx {
namespace test {

struct TsharkResult {
    bool ran = false;      // the program started
    bool timedOut = false; // killed after the time limit
    int exitCode = -1;
    std::string out; // standard output
    std::string err; // standard error
};

class Tshark {
public:
    // true when a tshark executable is on the PATH.
    static bool available();
    // tshark with arbitrary arguments.
    static TsharkResult run(const std::vector<std::string>& args, int timeoutMs = 30000);
    // tshark -r <pcap> <extra...> (default: full packet details, -V).
    static TsharkResult decode(const std::string& pcapPath, const std::vector<std::string>& extra = {"-V"});
    // tshark -r <pcap> -T fields -E separator=| -e f1 -e f2 ... [-Y filter]: one line per frame.
    // Adding the fields "_ws.malformed" and "_ws.expert.severity" checks for malformed frames
    // and expert errors in the same run (they stay empty for clean frames).
    // `extra` arguments go before the fields (for example {"-d", "tcp.port==10102,tpkt"}).
    static TsharkResult fields(const std::string& pcapPath, const std::vector<std::string>& fieldNames,
                               const std::string& displayFilter = "",
                               const std::vector<std::string>& extra = {});
    // true when a dissector reported a malformed or erroneous packet.
    static bool hasMalformed(const std::string& text);
    // The output lines (without the trailing empty line).
    static std::vector<std::string> lines(const std::string& text);
};

// Writes frames into a new PCAP file (Ethernet link type); frame i gets the time stamp 1 s + i us.
// false when the file cannot be written.
bool writePcap(const std::string& path, const std::vector<std::vector<uint8_t>>& frames);

// An Ethernet frame of `size` bytes from 02:00:00:00:00:<seed> to the GOOSE multicast address
// 01:0C:CD:01:00:01, VLAN-tagged when `vlanId` is not negative, whose payload counts up from `seed`.
std::vector<uint8_t> testFrame(uint16_t etherType, size_t size, uint8_t seed, int vlanId = -1,
                               int priority = 0);

// Bytes from hex digits; anything else (blanks, separators) is skipped.
std::vector<uint8_t> fromHex(const std::string& hex);

// A fresh file name in the temporary directory (not created).
std::string tempPath(const std::string& stem, const std::string& extension);

} // namespace test
} // namespace iecx

#define IECX_REQUIRE_TSHARK() IECX_SKIP_UNLESS(::iecx::test::Tshark::available(), "tshark is not installed")
