#include "support/Dumpcap.h"

#include <chrono>
#include <thread>
#include <unistd.h>

namespace iecx {
namespace test {

PcapContents readPcap(const std::string& path) {
    PcapContents result;
    VorIec61850::PcapReader reader;
    if (!reader.open(path))
        return result;
    result.nanosecond = reader.nanosecond();
    result.snapLength = reader.snapLength();
    for (PcapRecord r; reader.next(r);)
        result.records.push_back(std::move(r));
    result.ok = reader.endsWhole();
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
