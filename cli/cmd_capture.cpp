// iecx capture: GOOSE and SV frames (or every frame) of an interface into a PCAP file.
#include "capture/PacketCapturer.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "host/Files.h"
#include "host/NetworkHelper.h"

#include <sys/socket.h>
#include <unistd.h>
#include <linux/if_ether.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

const char* kHelp = "usage: iecx capture IFACE [--dir DIR] [--all] [--seconds N] [--count N]\n"
                    "\n"
                    "Captures the GOOSE and Sampled Values frames of interface IFACE (every frame with\n"
                    "--all) into DIR/IFACE_dump_<dd.mm.yyyy HH_MM_SS>.pcap until Ctrl-C, N seconds or\n"
                    "N frames. DIR defaults to the current directory. Prints the file name, and the\n"
                    "running frame count on stderr when it is a terminal. Needs root or CAP_NET_RAW.\n";

int runCapture(const std::vector<std::string>& args) {
    using namespace iecx::cli;
    std::string iface, dir = ".";
    bool all = false;
    double seconds = 0;
    long count = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "iecx capture: %s needs a value\n", name);
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        } else if (a == "--all") {
            all = true;
        } else if (a == "--dir") {
            auto v = value("--dir");
            if (!v)
                return kExitUsage;
            dir = *v;
        } else if (a == "--seconds" || a == "--count") {
            auto v = value(a.c_str());
            if (!v)
                return kExitUsage;
            char* end = nullptr;
            double n = std::strtod(v->c_str(), &end);
            if (end == v->c_str() || *end != '\0' || n <= 0) {
                std::fprintf(stderr, "iecx capture: %s wants a positive number, not '%s'\n", a.c_str(),
                             v->c_str());
                return kExitUsage;
            }
            if (a == "--seconds")
                seconds = n;
            else
                count = static_cast<long>(n);
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "iecx capture: unknown option '%s'\n%s", a.c_str(), kHelp);
            return kExitUsage;
        } else if (iface.empty()) {
            iface = a;
        } else {
            std::fprintf(stderr, "iecx capture: one interface only\n%s", kHelp);
            return kExitUsage;
        }
    }
    if (iface.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    if (!interfaceExists(iface)) {
        std::fprintf(stderr, "iecx capture: no interface '%s'\n", iface.c_str());
        return kExitFailure;
    }
    if (!canOpenRawSocket()) {
        std::fprintf(stderr, "iecx capture: raw Ethernet access needs root or CAP_NET_RAW\n");
        return kExitFailure;
    }
    if (access(dir.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "iecx capture: cannot write into directory '%s'\n", dir.c_str());
        return kExitFailure;
    }

    VorIec61850::PacketCapturer capturer;
    capturer.initPacketCapture(dir);
    capturer.setPcapPromiscuousMode(all);
    std::atomic<long> frames{0};
    capturer.packetReceived.connect([&frames](const uint8_t*, int32_t, uint32_t, uint32_t) { ++frames; });

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    capturer.startPacketCapturer(iface.c_str(), "");
    std::printf("%s\n", capturer.getFilePath().c_str());
    std::fflush(stdout);

    const bool tty = isatty(STDERR_FILENO) != 0;
    auto start = std::chrono::steady_clock::now();
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (tty)
            std::fprintf(stderr, "\r%ld frames", frames.load());
        if (count > 0 && frames >= count)
            break;
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds))
            break;
    }
    capturer.stopPacketCapturer();
    std::fprintf(stderr, "%s%ld frames captured\n", tty ? "\r" : "", frames.load());
    return kExitOk;
}

iecx::cli::CommandRegistration registration("capture", "capture GOOSE/SV or all frames into a PCAP file",
                                            runCapture);

} // namespace
