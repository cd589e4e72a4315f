// iecx simulate: serve the data model of one IED of an SCL file as a simulated IED.
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "sim/SimulatedIed.h"

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

const char* kDescription =
    "Runs a simulated IED that serves the data model of one IED of the SCL file FILE (CID, ICD or SCD)\n"
    "over MMS until Ctrl-C: its logical devices, logical nodes, data objects and attributes with their\n"
    "initial values, data sets, report control blocks (reports are sent to the client that enables\n"
    "them), GOOSE control blocks and Sampled Values control blocks (50 Hz currents and voltages at\n"
    "each block's rate).\n"
    "Example: iecx simulate station.scd --ied PROT1 --port 10102 --change-ms 500";

int run(const std::vector<std::string>& args) {
    auto app = newCommand("simulate", kDescription);
    std::string file, ied, bind = "0.0.0.0", iface;
    uint16_t port = 102;
    uint32_t changeMs = 0;
    app->add_option("FILE", file, "SCL file (CID, ICD or SCD)")->required();
    app->add_option("--ied", ied, "the IED to simulate (default: the first IED of the file)");
    addUnsigned(*app, "--port", port, "TCP port (default 102; 0 picks a free port)");
    app->add_option("--bind", bind, "IPv4 address to listen on (default 0.0.0.0)");
    app->add_option("--iface", iface,
                    "publish GOOSE and Sampled Values on network interface IF (needs root or CAP_NET_RAW)");
    addUnsigned(*app, "--change-ms", changeMs,
                "change process values every N ms: measured values drift, status values toggle (default 0: "
                "values change only when clients write settings)",
                0, 3600000);
    if (int status = parseCommand(*app, args); status >= 0)
        return status;

    iecx::sim::SimulatedIed sim;
    try {
        sim.load(file, ied);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx simulate: %s\n", e.what());
        return kExitFailure;
    }
    if (!sim.start(bind, port, iface)) {
        std::fprintf(stderr, "iecx simulate: %s\n", sim.lastError().c_str());
        return kExitFailure;
    }
    const iecx::sim::SimulatedIed::Summary served = sim.summary();
    std::fprintf(stdout,
                 "simulating IED %s on %s:%u (%zu logical devices, %zu attributes, %zu report, %zu GOOSE, "
                 "%zu SV control blocks)\n",
                 served.iedName.c_str(), bind.c_str(), sim.port(), served.logicalDevices, served.attributes,
                 served.reportBlocks, served.gooseBlocks, served.svBlocks);
    if (!iface.empty())
        std::fprintf(stdout, "publishing GOOSE and Sampled Values on %s\n", iface.c_str());
    for (const std::string& why : served.svSkipped)
        std::fprintf(stderr, "iecx simulate: Sampled Values not published for %s\n", why.c_str());
    std::fflush(stdout);
    if (changeMs > 0)
        sim.changeValuesEvery(static_cast<int>(changeMs));
    waitUntil(nullptr, 0);
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
