#include "support/Tshark.h"

#include "capture/PcapFile.h"
#include "support/CliRun.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace iecx {
namespace test {

bool Tshark::available() {
    return access("/usr/bin/tshark", X_OK) == 0;
}

TsharkResult Tshark::run(const std::vector<std::string>& args, int timeoutMs) {
    TsharkResult result;
    CliProcess tshark("tshark", args);
    result.ran = tshark.started();
    result.timedOut = !tshark.waitForExit(timeoutMs); // killed by the destructor
    result.exitCode = tshark.exitCode();
    result.out = tshark.out();
    result.err = tshark.err();
    return result;
}

TsharkResult Tshark::decode(const std::string& pcapPath, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"-n", "-r", pcapPath};
    args.insert(args.end(), extra.begin(), extra.end());
    return run(args);
}

TsharkResult Tshark::fields(const std::string& pcapPath, const std::vector<std::string>& fieldNames,
                            const std::string& displayFilter, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"-n", "-r", pcapPath};
    args.insert(args.end(), extra.begin(), extra.end());
    for (const char* a : {"-T", "fields", "-E", "separator=|"})
        args.push_back(a);
    for (const auto& f : fieldNames) {
        args.push_back("-e");
        args.push_back(f);
    }
    if (!displayFilter.empty()) {
        args.push_back("-Y");
        args.push_back(displayFilter);
    }
    return run(args);
}

bool Tshark::hasMalformed(const std::string& text) {
    return text.find("Malformed") != std::string::npos ||
           text.find("[Expert Info (Error") != std::string::npos ||
           text.find("BER Error") != std::string::npos || text.find("Dissector bug") != std::string::npos;
}

std::vector<std::string> Tshark::lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line))
        out.push_back(line);
    return out;
}

std::vector<uint8_t> testFrame(uint16_t etherType, size_t size, uint8_t seed, int vlanId, int priority) {
    std::vector<uint8_t> f = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01, 0x02, 0, 0, 0, 0, seed};
    if (vlanId >= 0)
        f.insert(f.end(), {0x81, 0x00, uint8_t(priority << 5 | vlanId >> 8), uint8_t(vlanId)});
    f.insert(f.end(), {uint8_t(etherType >> 8), uint8_t(etherType)});
    for (size_t i = f.size(); i < size; ++i)
        f.push_back(static_cast<uint8_t>(seed + i));
    return f;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : hex)
        if (isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

bool writePcap(const std::string& path, const std::vector<std::vector<uint8_t>>& frames) {
    VorIec61850::PcapFile file;
    std::remove(path.c_str()); // the writer appends to a file that exists
    bool ok = file.open(path, VorIec61850::PcapFile::kDefaultSnapLength);
    uint32_t i = 0;
    for (const auto& frame : frames) {
        const auto size = static_cast<uint32_t>(frame.size());
        ok = ok && file.append({frame.data(), size, size, 1, 1000 * i++});
    }
    return ok;
}

std::string tempPath(const std::string& stem, const std::string& extension) {
    static std::atomic<unsigned> counter{0};
    const char* tmp = getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    return dir + "/iecx-" + stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
           extension;
}

} // namespace test
} // namespace iecx
