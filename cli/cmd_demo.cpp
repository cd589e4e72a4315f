// iecx demo: the host's whole workflow on the example station, in about twenty seconds and
// without any device. Simulated IEDs serve the station's protection relay over MMS on loopback
// and publish its GOOSE and the merging unit's Sampled Values on `lo`; the root model then takes
// each protocol from choice to values (GOOSE from the SCL file, reports and polling from the
// IED, SV from the file), checks every value against what the IED holds, captures a second of
// traffic and writes CID files for the test set's own publications.
#include "capture/PacketCapturer.h"
#include "cid/GooseToCid.h"
#include "cid/PublicationDescription.h"
#include "cid/SvToCid.h"
#include "cli/CliOptions.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "models/AcquisitionWorkflow.h"
#include "models/GeneralSettingsModel.h"
#include "models/SourceFileModel.h"
#include "models/VorIec61850Model.h"
#include "sim/SimulatedIed.h"
#include "ui/Session.h"
#include "ui/UiServer.h"

#include "mms_value.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#ifndef IECX_BIN_TO_DATA
#define IECX_BIN_TO_DATA "../share"
#endif

namespace {

using namespace VorIec61850;
using namespace iecx::cli;
using Clock = std::chrono::steady_clock;

struct Options {
    std::string scl;
    std::string iface = "lo";
    double seconds = 3;
    bool ui = false;
    int port = 0;
};

// An example file: installed under the data directory beside the tool's prefix, or in the build
// tree under share/iecx next to the tool, or examples/ of the working directory.
std::string findExample(const std::string& name) {
    std::string toolDir;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        toolDir.assign(self, static_cast<size_t>(n));
        toolDir.erase(toolDir.rfind('/') + 1);
    }
    const std::string file = "iecx/examples/" + name;
    const std::string candidates[] = {toolDir + IECX_BIN_TO_DATA "/" + file, toolDir + "share/" + file,
                                      "examples/" + name};
    for (const std::string& candidate : candidates)
        if (::access(candidate.c_str(), R_OK) == 0)
            return candidate;
    return candidates[0];
}

std::string valueText(const MmsValue* value) {
    if (value == nullptr)
        return "(none)";
    char buffer[128];
    MmsValue_printToBuffer(value, buffer, sizeof buffer);
    return buffer;
}

std::string timeText(uint64_t ms) {
    if (ms == 0)
        return "no time";
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03u UTC", utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned>(ms % 1000));
    return buffer;
}

// A failed step: says which and why; the demo then ends with exit status 1.
struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(const Vor::Result& result, const std::string& what) {
    if (!result)
        throw StepFailed(what + ": " + result.getMessage());
}

std::string shortPath(const std::string& path) {
    const std::size_t slash = path.find('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Runs the workflow for `seconds`, printing the first few changes of values as they arrive,
// then checks every value and its time against the simulated IED. Returns the number checked.
std::size_t watchAndCheck(AcquisitionWorkflow& workflow, iecx::sim::SimulatedIed& ied, double seconds) {
    std::atomic<uint64_t> updates{0};
    sigc::connection counting = workflow.valuesUpdated.connect([&updates] { ++updates; });
    const Vor::Result started = workflow.start();
    if (!started)
        counting.disconnect();
    require(started, "start");
    ied.changeValuesEvery(400);
    const auto& leaves = workflow.getTarget().leaves;
    std::map<std::size_t, std::string> shown;
    int printed = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const MmsValueElementList values = workflow.getValues();
        for (std::size_t i = 0; i < values.size() && i < leaves.size(); ++i) {
            if (!values[i] || !values[i]->getValue())
                continue;
            const std::string text = valueText(values[i]->getValue());
            if (shown[i] == text)
                continue;
            shown[i] = text;
            if (printed++ < 6)
                std::printf("   %-34s = %-10s %s\n", shortPath(leaves[i].first).c_str(), text.c_str(),
                            timeText(values[i]->getUnixTimestamp()).c_str());
        }
    }
    // The IED keeps changing until a value has arrived; then the last change reaches the pool
    // before the values are compared.
    bool changing = true;
    std::size_t equal = 0;
    std::size_t arrived = 0;
    std::string differences;
    const auto settle = Clock::now() + std::chrono::seconds(3);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const MmsValueElementList values = workflow.getValues();
        equal = 0;
        arrived = 0;
        differences.clear();
        for (std::size_t i = 0; i < values.size() && i < leaves.size(); ++i) {
            std::unique_ptr<MmsValue, void (*)(MmsValue*)> expected(ied.getValue(leaves[i].first),
                                                                    MmsValue_delete);
            const MmsValue* got = values[i] ? values[i]->getValue() : nullptr;
            // Reports carry changes: a member that has not changed since the start has no
            // value yet, which is not a wrong one.
            if (got == nullptr)
                continue;
            ++arrived;
            if (expected && MmsValue_equals(got, expected.get()))
                ++equal;
            else
                differences += "\n   " + shortPath(leaves[i].first) + ": " + valueText(got) +
                               ", the IED has " + valueText(expected.get());
        }
        if (arrived > 0 && changing) {
            ied.changeValuesEvery(0);
            changing = false;
            arrived = 0; // compare again once the last change is in
        }
    } while ((arrived == 0 || equal < arrived) && Clock::now() < settle);
    ied.changeValuesEvery(0);
    workflow.stop();
    counting.disconnect();
    std::printf("   %llu updates; %zu of %zu values arrived, %zu equal to the IED's\n",
                static_cast<unsigned long long>(updates.load()), arrived, leaves.size(), equal);
    if (arrived == 0)
        throw StepFailed("no value arrived");
    if (equal < arrived)
        throw StepFailed("values differ from the IED's:" + differences);
    return equal;
}

void startIed(iecx::sim::SimulatedIed& ied, const std::string& scl, const std::string& name,
              const std::string& iface) {
    try {
        ied.load(scl, name);
    } catch (const std::exception& e) {
        throw StepFailed(e.what());
    }
    if (!ied.start("127.0.0.1", 0, iface))
        throw StepFailed("the simulated IED " + name + " does not start: " + ied.lastError());
}

// The test set's own publications: the GOOSE from the example description file that
// `iecx cid goose -f` reads as well.
void writeCids(const std::string& dir) {
    GooseOut goose;
    const std::string error =
        PublicationDescription::readGooseDescriptionFile(findExample("testset_goose.desc"), goose);
    if (!error.empty())
        throw StepFailed(error);
    GooseToCid().saveToCid(goose, dir + "/Goose.cid");
    SvOut sv;
    sv.macAddress = "01-0C-CD-04-01-00";
    sv.appId = 0x4100;
    sv.vlanId = 10;
    sv.vlanPriority = 4;
    for (const char* path : {"TESTSETMU/TCTR1.AmpSv.instMag.i[MX]", "TESTSETMU/TVTR1.VolSv.instMag.i[MX]"})
        sv.channels.emplace_back(path, nullptr, 1.0, 0.0);
    SvToCid().saveToCid(sv, dir + "/SV.cid");
    std::printf("   %s/Goose.cid\n   %s/SV.cid\n", dir.c_str(), dir.c_str());
}

// The web host against the simulated IEDs, until Ctrl-C: the example station already loaded in
// the page, the IEDs' values changing, so that a newcomer sees values move at once.
int runUiDemo(const Options& o) {
    const bool raw = canOpenRawSocket();
    iecx::sim::SimulatedIed relay;
    iecx::sim::SimulatedIed mergingUnit;
    try {
        startIed(relay, o.scl, "PROT1", raw ? o.iface : "");
        if (raw)
            startIed(mergingUnit, o.scl, "MU1", o.iface);
    } catch (const StepFailed& e) {
        std::fprintf(stderr, "iecx demo: %s\n", e.what());
        return kExitFailure;
    }
    relay.changeValuesEvery(300);
    iecx::ui::UiOptions options;
    options.port = o.port;
    iecx::ui::UiServer server(options);
    if (!server.start()) {
        std::fprintf(stderr, "iecx demo: %s\n", server.error().c_str());
        return kExitFailure;
    }
    // The page opens on the station file with PROT1's gcbPos chosen; the device source already
    // knows the IED. The choices go through the session, as the page's own requests do.
    std::ifstream in(o.scl);
    std::ostringstream content;
    content << in.rdbuf();
    try {
        iecx::ui::Session& session = server.session();
        session.connectDevice("127.0.0.1", relay.port());
        session.loadScl("station.scd", content.str());
        session.setUnit("settings", {0}, "Файл SCL");
        session.setUnit("settings", {1, 0}, "События (GOOSE)"); // the file source's protocol
        session.setUnit("settings", {1, 2}, "gcbPos");          // and element
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx demo: %s: %s\n", o.scl.c_str(), e.what());
        return kExitFailure;
    }
    std::printf("%s\n\n", server.url().c_str());
    std::printf(
        "Open the address above in a browser. The page shows %s with PROT1's GOOSE gcbPos\n"
        "chosen; the simulated IED PROT1 serves MMS on 127.0.0.1:%u and changes its values every 300 ms.\n",
        o.scl.c_str(), relay.port());
    if (raw)
        std::printf("- GOOSE: press \"Старт\" with interface %s.\n"
                    "- Sampled Values: choose \"Поток (SMV)\" and MU1, then \"Старт\".\n",
                    o.iface.c_str());
    else
        std::printf(
            "- GOOSE and Sampled Values need root or CAP_NET_RAW: run the demo as root to see them.\n");
    std::printf(
        "- Reports: choose \"Устройство IED\" (connected to 127.0.0.1:%u), pick urcbPos01, \"Старт\".\n"
        "Ctrl-C ends the demo.\n",
        relay.port());
    std::fflush(stdout);
    waitUntil(nullptr, 0);
    server.stop();
    relay.stop();
    mergingUnit.stop();
    return kExitOk;
}

int runDemo(const std::vector<std::string>& args) {
    Options o;
    auto app =
        newCommand("demo", "Runs the host's whole workflow against simulated IEDs on this machine: GOOSE "
                           "from the SCL file, MMS reports and polling from the IED, Sampled Values, a "
                           "short capture and the CID files. Raw Ethernet (GOOSE, SV, capture) needs "
                           "root or CAP_NET_RAW; without it those steps are skipped.");
    app->add_option("--scl", o.scl, "station file (default: the example station)");
    app->add_option("--iface", o.iface, "interface for GOOSE and SV")->capture_default_str();
    app->add_option("--seconds", o.seconds, "seconds per acquisition step")
        ->check(CLI::Range(0.1, 60.0))
        ->capture_default_str();
    app->add_flag("--ui", o.ui, "serve the web host (iecx ui) against the simulated IEDs until Ctrl-C");
    app->add_option("--port", o.port, "with --ui: the web host's port (default: a free one)")
        ->check(CLI::Range(0, 65535));
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    if (o.scl.empty())
        o.scl = findExample("station.scd");
    if (o.ui)
        return runUiDemo(o);

    const auto begin = Clock::now();
    const bool raw = canOpenRawSocket();
    int step = 0;
    std::string current;
    auto heading = [&](const std::string& text) {
        current = text;
        std::printf("\n%d. %s\n", ++step, text.c_str());
    };
    std::map<std::string, std::size_t> checked;
    try {
        heading("Simulated IEDs of " + o.scl);
        iecx::sim::SimulatedIed relay;
        iecx::sim::SimulatedIed mergingUnit;
        startIed(relay, o.scl, "PROT1", raw ? o.iface : "");
        std::printf("   PROT1 serves MMS on 127.0.0.1:%u%s\n", relay.port(),
                    raw ? (" and publishes GOOSE on " + o.iface).c_str() : "");
        if (raw) {
            startIed(mergingUnit, o.scl, "MU1", o.iface);
            std::printf("   MU1 publishes Sampled Values on %s\n", o.iface.c_str());
        } else {
            std::printf("   GOOSE and SV are skipped: raw Ethernet needs root or CAP_NET_RAW\n");
        }

        VorIec61850Model root;
        AcquisitionWorkflow workflow(root);
        workflow.setInterface(o.iface);
        SourceFileModel& file = *root.getSettingsModel()->getFileModel();
        std::vector<tMmsTypeEnum> types;
        for (int t = 0; t <= static_cast<int>(tMmsTypeEnum::DATA_ACCESS_ERROR); ++t)
            types.push_back(static_cast<tMmsTypeEnum>(t));
        file.setFilterTypes(types);

        // The file source keeps its own protocol choice: it is switched to before each choice.
        auto chooseFromFile = [&](TransferProtocol protocol, const std::string& device) {
            require(workflow.openFile(o.scl), "reading " + o.scl);
            workflow.chooseProtocol(protocol);
            require(workflow.chooseDevice(device), "device");
        };
        auto skipped = [] { std::printf("   skipped: raw Ethernet needs root or CAP_NET_RAW\n"); };

        heading("GOOSE from the SCL file: PROT1 / gcbPos, every leaf checked");
        if (raw) {
            chooseFromFile(TransferProtocol::Goose, "PROT1");
            require(workflow.chooseElement("gcbPos"), "element");
            workflow.checkAll(true);
            checked["GOOSE"] = watchAndCheck(workflow, relay, o.seconds);
        } else {
            skipped();
        }

        heading("MMS reports from the IED: urcbPos01");
        require(workflow.connectDevice("127.0.0.1", relay.port()), "connecting");
        workflow.chooseProtocol(TransferProtocol::MmsReports);
        require(workflow.chooseElement("urcbPos01"), "element");
        workflow.checkAll(true);
        checked["reports"] = watchAndCheck(workflow, relay, o.seconds);

        heading("MMS polling of the same leaves, every 200 ms");
        workflow.setPolling(true, 200);
        checked["polling"] = watchAndCheck(workflow, relay, o.seconds);
        workflow.setPolling(false);

        heading("Sampled Values from the SCL file: MU1 / MSVCB01");
        if (raw) {
            chooseFromFile(TransferProtocol::SampledValues, "MU1");
            require(workflow.start(), "start");
            std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
            const SvStreamMonitor::Snapshot sv = workflow.getSvSnapshot();
            workflow.stop();
            std::printf("   svID %s: %.0f ASDUs/s, %llu ASDUs, %llu smpCnt gaps, %zu channels\n",
                        sv.svId.c_str(), sv.rate, static_cast<unsigned long long>(sv.asdus),
                        static_cast<unsigned long long>(sv.gaps), sv.values.size());
            std::string line = "   first channels:";
            for (std::size_t i = 0; i < sv.values.size() && i < 4; ++i)
                line += " " + std::to_string(sv.values[i]);
            std::printf("%s\n", line.c_str());
            if (sv.asdus == 0)
                throw StepFailed("no Sampled Values arrived");
            checked["SV ASDUs"] = sv.asdus;
        } else {
            skipped();
        }

        char pattern[] = "/tmp/iecx-demo-XXXXXX";
        const std::string dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        heading("Capture of one second on " + o.iface);
        if (raw) {
            PacketCapturer capturer;
            capturer.initPacketCapture(dir);
            std::atomic<int> frames{0};
            capturer.packetReceived.connect([&](const uint8_t*, int32_t, uint32_t, uint32_t) { ++frames; });
            relay.changeValuesEvery(200);
            capturer.startPacketCapturer(o.iface.c_str(), "");
            std::this_thread::sleep_for(std::chrono::seconds(1));
            capturer.stopPacketCapturer();
            relay.changeValuesEvery(0);
            std::printf("   %d GOOSE and SV frames in %s\n", frames.load(), capturer.getFilePath().c_str());
        } else {
            skipped();
        }

        heading("CID files of the test set's publications");
        writeCids(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx demo: step %d (%s) failed: %s\n", step, current.c_str(), e.what());
        return kExitFailure;
    }
    std::string summary;
    for (const auto& [what, count] : checked)
        summary += (summary.empty() ? "" : ", ") + what + " " + std::to_string(count);
    std::printf("\nDone in %.1f s. Checked against the IEDs: %s.\n",
                std::chrono::duration<double>(Clock::now() - begin).count(), summary.c_str());
    return kExitOk;
}

CommandRegistration
    registration("demo", "run the host's whole workflow against simulated IEDs on this machine", runDemo);

} // namespace
