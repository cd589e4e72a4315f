#include "support/Dumpcap.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace iecx {
namespace test {

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

} // namespace

PcapContents readPcap(const std::string& path) {
    PcapContents result;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 24)
        return result;
    uint32_t magic = le32(b, 0);
    if (magic != 0xA1B2C3D4u && magic != 0xA1B23C4Du)
        return result;
    result.nanosecond = magic == 0xA1B23C4Du;
    result.snapLength = le32(b, 16);
    size_t at = 24;
    while (at + 16 <= b.size()) {
        uint32_t length = le32(b, at + 8);
        if (at + 16 + length > b.size())
            return result; // a torn record
        PcapRecord r;
        r.timeNs =
            int64_t(le32(b, at)) * 1000000000 + int64_t(le32(b, at + 4)) * (result.nanosecond ? 1 : 1000);
        r.originalLength = le32(b, at + 12);
        r.bytes.assign(b.begin() + static_cast<long>(at + 16),
                       b.begin() + static_cast<long>(at + 16 + length));
        result.records.push_back(std::move(r));
        at += 16 + length;
    }
    result.ok = at == b.size();
    return result;
}

bool Dumpcap::available() {
    return access("/usr/bin/dumpcap", X_OK) == 0;
}

Dumpcap::Dumpcap(const std::string& iface, const std::string& path, const std::string& filter) {
    if (!available()) {
        _error = "dumpcap cannot be started";
        return;
    }
    std::vector<std::string> args{"-q", "-i", iface, "-P", "-w", path};
    if (!filter.empty())
        args.insert(args.end(), {"-f", filter});
    _process = std::make_unique<CliProcess>("/usr/bin/dumpcap", args);
    // dumpcap says "Capturing on '<iface>'" once its socket is open.
    _ok = _process->waitForOutput("Capturing on", 10000, true);
    if (!_ok)
        _error = "dumpcap did not start: " + _process->err();
    // Its own socket is open; give it a moment to be bound before traffic starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void Dumpcap::stop() {
    if (_process) {
        _process->interrupt();
        _process->waitForExit(10000); // killed by the destructor after that
        _process.reset();
    }
}

} // namespace test
} // namespace iecx
