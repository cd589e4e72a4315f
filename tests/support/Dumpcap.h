#pragma once
// A reference capture next to ours: dumpcap on the same interface writing a PCAP file, and a
// reader for PCAP files (microsecond or nanosecond) so that tests can compare both records.
#include "capture/PcapReader.h"
#include "support/CliRun.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace iecx {
namespace test {

using VorIec61850::PcapRecord;

struct PcapContents {
    bool ok = false; // the file is a PCAP file and ends with a whole record
    bool nanosecond = false;
    uint32_t snapLength = 0;
    std::vector<PcapRecord> records;
};

PcapContents readPcap(const std::string& path);

class Dumpcap {
public:
    // Starts dumpcap on `iface` writing PCAP into `path`, with an optional capture filter; waits
    // (up to 10 s) until it captures.
    Dumpcap(const std::string& iface, const std::string& path, const std::string& filter = "");
    ~Dumpcap() { stop(); }
    Dumpcap(const Dumpcap&) = delete;
    Dumpcap& operator=(const Dumpcap&) = delete;

    static bool available();
    bool ok() const { return _ok; }
    const std::string& error() const { return _error; }
    // Ends the capture (SIGINT) and waits for dumpcap to write its last records.
    void stop();

private:
    std::unique_ptr<CliProcess> _process;
    bool _ok = false;
    std::string _error;
};

} // namespace test
} // namespace iecx

#define IECX_REQUIRE_DUMPCAP()                                                                               \
    IECX_SKIP_UNLESS(::iecx::test::Dumpcap::available(), "dumpcap is not installed")
