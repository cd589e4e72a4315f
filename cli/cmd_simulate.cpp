// iecx simulate: serve the data model of one IED of an SCL file as a simulated IED.
#include "cli/Command.h"
#include "sim/SimulatedIed.h"
#include "sim/SvPublishing.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace iecx::cli;

std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

const char* kHelp =
    "usage: iecx simulate FILE [--ied NAME] [--port N] [--bind ADDR] [--iface IF] [--change-ms N]\n"
    "\n"
    "Runs a simulated IED that serves the data model of one IED of the SCL file FILE\n"
    "(CID, ICD or SCD) over MMS until Ctrl-C: its logical devices, logical nodes, data\n"
    "objects and attributes with their initial values, data sets, report control blocks\n"
    "(reports are sent to the client that enables them), GOOSE control blocks and\n"
    "Sampled Values control blocks (50 Hz currents and voltages at each block's rate).\n"
    "\n"
    "  --ied NAME       the IED to simulate (default: the first IED of the file)\n"
    "  --port N         TCP port (default 102; 0 picks a free port)\n"
    "  --bind ADDR      IPv4 address to listen on (default 0.0.0.0)\n"
    "  --iface IF       publish GOOSE and Sampled Values on network interface IF\n"
    "                   (needs root or CAP_NET_RAW)\n"
    "  --change-ms N    change process values every N ms: measured values drift,\n"
    "                   status values toggle (default 0: values change only when\n"
    "                   clients write settings)\n";

bool parseNumber(const std::string& text, long min, long max, long& out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

int run(const std::vector<std::string>& args) {
    std::string file, ied, bind = "0.0.0.0", iface;
    long port = 102, changeMs = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "iecx simulate: %s needs a value\n", a.c_str());
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        } else if (a == "--ied") {
            if (!value(ied))
                return kExitUsage;
        } else if (a == "--bind") {
            if (!value(bind))
                return kExitUsage;
        } else if (a == "--iface") {
            if (!value(iface))
                return kExitUsage;
        } else if (a == "--port") {
            if (!value(text))
                return kExitUsage;
            if (!parseNumber(text, 0, 65535, port)) {
                std::fprintf(stderr, "iecx simulate: invalid port '%s'\n", text.c_str());
                return kExitUsage;
            }
        } else if (a == "--change-ms") {
            if (!value(text))
                return kExitUsage;
            if (!parseNumber(text, 0, 3600000, changeMs)) {
                std::fprintf(stderr, "iecx simulate: invalid --change-ms '%s'\n", text.c_str());
                return kExitUsage;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "iecx simulate: unknown option '%s'\n%s", a.c_str(), kHelp);
            return kExitUsage;
        } else if (file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "iecx simulate: only one FILE may be given\n");
            return kExitUsage;
        }
    }
    if (file.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }

    iecx::sim::SimulatedIed sim;
    try {
        sim.load(file, ied);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx simulate: %s\n", e.what());
        return kExitFailure;
    }
    g_stop = false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    if (!sim.start(bind, static_cast<uint16_t>(port), iface)) {
        std::fprintf(stderr, "iecx simulate: %s\n", sim.lastError().c_str());
        return kExitFailure;
    }
    size_t gooseCount = 0, reportCount = 0, svCount = 0;
    for (const auto& d : sim.model().domains()) {
        gooseCount += d->gooses.size();
        reportCount += d->reports.size();
        svCount += d->svs.size();
    }
    std::fprintf(stdout,
                 "simulating IED %s on %s:%u (%zu logical devices, %zu attributes, %zu report, %zu GOOSE, "
                 "%zu SV control blocks)\n",
                 sim.model().iedName().c_str(), bind.c_str(), sim.port(), sim.model().domains().size(),
                 sim.model().attributeCount(), reportCount, gooseCount, svCount);
    if (!iface.empty())
        std::fprintf(stdout, "publishing GOOSE and Sampled Values on %s\n", iface.c_str());
    for (const std::string& why : sim.svPublishing()->skipped())
        std::fprintf(stderr, "iecx simulate: Sampled Values not published for %s\n", why.c_str());
    std::fflush(stdout);
    if (changeMs > 0)
        sim.changeValuesEvery(static_cast<int>(changeMs));
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::fprintf(stderr, "iecx simulate: stopping\n");
    sim.stop();
    std::fprintf(stdout, "served %llu requests, sent %llu reports, %llu GOOSE frames, %llu SV frames\n",
                 static_cast<unsigned long long>(sim.requestCount()),
                 static_cast<unsigned long long>(sim.reportsSent()),
                 static_cast<unsigned long long>(sim.gooseFramesSent()),
                 static_cast<unsigned long long>(sim.svFramesSent()));
    return kExitOk;
}

CommandRegistration reg("simulate", "run a simulated IED serving an SCL file's data model", run);

} // namespace
