// iecx capture: GOOSE and SV frames (or every frame, or an MMS session too) of an interface into
// a PCAP file, with the kernel's counters at the end.
#include "capture/PacketCapturer.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

const char* kDescription =
    "Captures the GOOSE and Sampled Values frames of interface IFACE (every frame with --all)\n"
    "into a PCAP file with the kernel's arrival time stamps (nanoseconds), until Ctrl-C, S\n"
    "seconds or N frames.\n"
    "Prints the file name first and, at the end, the frames seen by the kernel, captured and\n"
    "dropped; a running count goes to stderr when it is a terminal. Exit status 1 when the\n"
    "capture cannot start or the file cannot be written. Needs root or CAP_NET_RAW.\n"
    "Example: iecx capture eth0 --seconds 60";

// An IPv4 address text or a host name resolved to its first IPv4 address.
bool resolveIpv4(const std::string& host, uint8_t ip[4]) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr)
        return false;
    const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    std::memcpy(ip, &address->sin_addr, 4);
    freeaddrinfo(result);
    return true;
}

struct Options : iecx::cli::RunOptions {
    std::string iface;
    std::string output;
    std::string dir = ".";
    std::string mmsHost;
    bool all = false;
    uint64_t snapLength = 0;
};

// -1 when the command goes on, otherwise its exit status.
int parseOptions(const std::vector<std::string>& args, Options& o) {
    using namespace iecx::cli;
    auto app = newCommand("capture", kDescription);
    app->add_option("IFACE", o.iface, "network interface")->required();
    CLI::Option* output = app->add_option(
        "-o,--output", o.output, "the capture file (default DIR/IFACE_dump_<dd.mm.yyyy_HH_MM_SS>.pcap)");
    app->add_option("--dir", o.dir, "directory of the default file name (default: the current directory)")
        ->excludes(output);
    app->add_flag("--all", o.all, "every frame of the interface (promiscuous mode)");
    app->add_option("--mms", o.mmsHost, "also the IPv4 traffic between this interface's address and HOST")
        ->type_name("HOST");
    addUnsigned(*app, "--snaplen", o.snapLength,
                "keep the first N bytes of each frame (default: whole frames)", 14, 262144);
    addRunOptions(*app, o, "end after N frames", "the summary as JSON");
    return parseCommand(*app, args);
}

// The default file: the library's naming rule without the blank, which every shell trips on.
std::string defaultFileName(const Options& o) {
    std::string path = VorIec61850::PacketCapturer::captureFileName(o.dir, o.iface, std::time(nullptr));
    size_t name = path.rfind('/');
    size_t blank = path.rfind(' ');
    if (blank != std::string::npos && blank > name)
        path[blank] = '_';
    return path;
}

int runCapture(const std::vector<std::string>& args) {
    using namespace iecx::cli;
    Options o;
    int status = parseOptions(args, o);
    if (status >= 0)
        return status;
    if (!interfaceExists(o.iface)) {
        std::fprintf(stderr, "iecx capture: no interface '%s'\n", o.iface.c_str());
        return kExitFailure;
    }
    if (!canOpenRawSocket()) {
        std::fprintf(stderr, "iecx capture: raw Ethernet access needs root or CAP_NET_RAW\n");
        return kExitFailure;
    }
    uint8_t peer[4];
    if (!o.mmsHost.empty() && !resolveIpv4(o.mmsHost, peer)) {
        std::fprintf(stderr, "iecx capture: no IPv4 address for '%s'\n", o.mmsHost.c_str());
        return kExitFailure;
    }

    VorIec61850::PacketCapturer capturer;
    capturer.initPacketCapture(o.dir);
    capturer.setOutputPath(o.output.empty() ? defaultFileName(o) : o.output);
    capturer.setPcapPromiscuousMode(o.all);
    capturer.setSnapLength(static_cast<uint32_t>(o.snapLength));

    if (!capturer.startPacketCapturer(o.iface.c_str(), "")) {
        std::fprintf(stderr, "iecx capture: %s\n", capturer.getLastError().c_str());
        return kExitFailure;
    }
    if (!o.mmsHost.empty()) {
        capturer.setPeerIp(peer);
        if (!capturer.startMmsCapture(o.iface.c_str())) {
            std::fprintf(stderr, "iecx capture: %s\n", capturer.getLastError().c_str());
            capturer.stopPacketCapturer();
            return kExitFailure;
        }
    }
    if (!o.json) {
        std::printf("%s\n", capturer.getFilePath().c_str());
        std::fflush(stdout);
    }

    const bool tty = isatty(STDERR_FILENO) != 0;
    auto start = std::chrono::steady_clock::now();
    bool failed = false;
    while (!stopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!capturer.isCapturing()) {
            failed = true;
            break;
        }
        uint64_t captured = capturer.getCounters().captured;
        if (tty)
            std::fprintf(stderr, "\r%llu frames", static_cast<unsigned long long>(captured));
        if (o.count > 0 && captured >= o.count)
            break;
        if (o.seconds > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(o.seconds))
            break;
    }
    capturer.stopMmsCapture();
    capturer.stopPacketCapturer();
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    VorIec61850::CaptureCounters c = capturer.getCounters();
    if (tty)
        std::fputs("\r", stderr);
    if (failed)
        std::fprintf(stderr, "iecx capture: %s\n", capturer.getLastError().c_str());
    if (o.json) {
        Json summary = {{"file", capturer.getFilePath()},
                        {"interface", o.iface},
                        {"seconds", elapsed},
                        {"seen", c.seen},
                        {"captured", c.captured},
                        {"dropped", c.dropped},
                        {"snaplen", capturer.getSnapLength()}};
        if (failed)
            summary["error"] = capturer.getLastError();
        printJson(summary);
    } else {
        std::printf("%llu frames captured, %llu seen by the kernel, %llu dropped\n",
                    static_cast<unsigned long long>(c.captured), static_cast<unsigned long long>(c.seen),
                    static_cast<unsigned long long>(c.dropped));
    }
    return failed ? kExitFailure : kExitOk;
}

iecx::cli::CommandRegistration registration("capture", "capture GOOSE/SV, MMS or all frames into a PCAP file",
                                            runCapture);

} // namespace
