// iecx demo: the whole chain on a built-in station, in a few seconds and without any device.
// A simulated IED serves the station file's protection relay over MMS on loopback and publishes
// its GOOSE on `lo`; iecx reads the file, browses and reads the IED, subscribes to the GOOSE,
// captures the frames to PCAP and writes CID files for the test set's own publications.
#include "acquisition/GooseSubscriberPool.h"
#include "capture/PacketCapturer.h"
#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "mms/FCDAElement.h"
#include "mms/MmsDatasetHelper.h"
#include "scl/DataExtractor.h"
#include "sim/SimulatedIed.h"

#include "iec61850_client.h"
#include "mms_value.h"

#include <libxml++/libxml++.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

// Where the example files lie relative to the tool's own directory once installed
// (<bindir>/../share by default); the build defines the real relation.
#ifndef IECX_BIN_TO_DATA
#define IECX_BIN_TO_DATA "../share"
#endif

namespace {

using namespace VorIec61850;
using namespace iecx::cli;

const char* kHelp = "usage: iecx demo [--scl FILE] [--ied NAME] [--seconds N]\n"
                    "\n"
                    "Runs the whole chain against a simulated IED on this machine: reads the SCL file\n"
                    "(default: the example station), serves IED NAME (default: the first publishing\n"
                    "GOOSE) over MMS on 127.0.0.1, browses and reads it, subscribes to its GOOSE on 'lo',\n"
                    "captures the frames to PCAP for N seconds (default 2) and writes Goose.cid and\n"
                    "SV.cid for the test set's own publications. GOOSE and capture need root.\n";

struct Options {
    std::string scl;
    std::string ied;
    double seconds = 2;
};

void heading(int step, const char* text) {
    std::printf("\n%d. %s\n", step, text);
}

std::string printValue(const MmsValue* value) {
    char buffer[256];
    if (value == nullptr)
        return "(none)";
    MmsValue_printToBuffer(value, buffer, sizeof buffer);
    return buffer;
}

// The example station: installed under the data directory beside the tool's prefix, or in the
// build tree under share/iecx next to the tool, or examples/ of the working directory.
std::string findStation() {
    std::string toolDir;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        toolDir.assign(self, static_cast<size_t>(n));
        toolDir.erase(toolDir.rfind('/') + 1);
    }
    const std::string file = "iecx/examples/station.scd";
    const std::string candidates[] = {toolDir + IECX_BIN_TO_DATA "/" + file, toolDir + "share/" + file,
                                      "examples/station.scd"};
    for (const std::string& candidate : candidates)
        if (::access(candidate.c_str(), R_OK) == 0)
            return candidate;
    return candidates[0];
}

int parse(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return -1;
        }
        if ((a == "--scl" || a == "--ied" || a == "--seconds") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--scl")
                o.scl = v;
            else if (a == "--ied")
                o.ied = v;
            else {
                char* end = nullptr;
                o.seconds = std::strtod(v.c_str(), &end);
                if (end == v.c_str() || *end != '\0' || o.seconds <= 0 || o.seconds > 600) {
                    std::fprintf(stderr, "iecx demo: --seconds wants a number of seconds up to 600\n");
                    return kExitUsage;
                }
            }
            continue;
        }
        std::fprintf(stderr, "iecx demo: unexpected argument '%s'\n%s", a.c_str(), kHelp);
        return kExitUsage;
    }
    if (o.scl.empty())
        o.scl = findStation();
    return 0;
}

// The GOOSE subscription target of one GSE entry: its data set as FCDA XML, every member as a
// wanted value, and the control block reference, APPID and destination MAC as criteria.
GooseIn gooseTarget(const tConnectedAP& ap, size_t index, const std::string& iface) {
    tGSE gse = ap.gse[index];
    gse.gseControl->setControlBlockReference(&ap, static_cast<int>(index));
    GooseIn target;
    std::unique_ptr<FCDAElement> dataSet =
        MmsDatasetHelper::createDatasetStructure(gse.gseControl->dataSet.get());
    target.dataSetXml = dataSet->serializeToString();
    for (const auto& member : dataSet->getChildren())
        target.paths.push_back(MmsPath(member->getFullPathWithFC(), nullptr));
    target.identifier.goCbRef = gse.gseControl->getControlBlockReference();
    target.identifier.appId = static_cast<int64_t>(gse.getAppId());
    target.interfaceName = iface;
    return target;
}

int runDemo(const std::vector<std::string>& args) {
    Options o;
    int parsed = parse(args, o);
    if (parsed != 0)
        return parsed < 0 ? kExitOk : parsed;

    heading(1, "SCL file");
    std::printf("   %s\n", o.scl.c_str());
    std::vector<tConnectedAP> aps;
    try {
        xmlpp::DomParser parser;
        parser.parse_file(o.scl);
        aps = DataExtractor(&parser).getConnectedApCollection();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Error parsing SCL file: %s\n", e.what());
        return kExitFailure;
    }
    const tConnectedAP* publisher = nullptr;
    for (const tConnectedAP& ap : aps) {
        std::printf("   %-8s %zu GOOSE, %zu SV control blocks\n", ap.iedName.c_str(), ap.gse.size(),
                    ap.smv.size());
        if (publisher == nullptr && !ap.gse.empty() && (o.ied.empty() || ap.iedName == o.ied))
            publisher = &ap;
    }
    if (publisher == nullptr) {
        std::fprintf(stderr, "iecx demo: no IED publishing GOOSE%s in '%s'\n",
                     o.ied.empty() ? "" : (" named " + o.ied).c_str(), o.scl.c_str());
        return kExitFailure;
    }
    const bool raw = canOpenRawSocket();
    const std::string iface = raw ? "lo" : "";

    heading(2, "Simulated IED");
    iecx::sim::SimulatedIed ied;
    try {
        ied.load(o.scl, publisher->iedName);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx demo: %s\n", e.what());
        return kExitFailure;
    }
    if (!ied.start("127.0.0.1", 0, iface)) {
        std::fprintf(stderr, "iecx demo: the simulated IED does not start: %s\n", ied.lastError().c_str());
        return kExitFailure;
    }
    ied.changeValuesEvery(300);
    std::printf("   %s serves MMS on 127.0.0.1:%u%s\n", publisher->iedName.c_str(), ied.port(),
                raw ? " and publishes GOOSE on lo" : " (no GOOSE: raw sockets need root)");

    heading(3, "MMS browse and read");
    IedClientError error = IED_ERROR_OK;
    IedConnection connection = IedConnection_create();
    IedConnection_connect(connection, &error, "127.0.0.1", ied.port());
    if (error != IED_ERROR_OK) {
        std::fprintf(stderr, "iecx demo: MMS connection failed: error %d\n", static_cast<int>(error));
        IedConnection_destroy(connection);
        return kExitFailure;
    }
    LinkedList devices = IedConnection_getLogicalDeviceList(connection, &error);
    for (LinkedList d = LinkedList_getNext(devices); d != nullptr; d = LinkedList_getNext(d)) {
        const char* device = static_cast<const char*>(LinkedList_getData(d));
        LinkedList nodes = IedConnection_getLogicalDeviceDirectory(connection, &error, device);
        std::printf("   %-12s %d logical nodes\n", device, nodes ? LinkedList_size(nodes) : 0);
        LinkedList_destroy(nodes);
    }
    LinkedList_destroy(devices);
    const tGSE& gse = publisher->gse.front();
    for (const tFCDA& fcda : gse.gseControl->dataSet->fcdas) {
        std::string reference = publisher->iedName + fcda.ldInst + "/" + fcda.prefix + fcda.lnClass +
                                fcda.lnInst + "." + fcda.doName +
                                (fcda.daName.empty() ? "" : "." + fcda.daName);
        MmsValue* value = IedConnection_readObject(connection, &error, reference.c_str(), IEC61850_FC_ST);
        std::printf("   %-36s = %s\n", reference.c_str(), printValue(value).c_str());
        MmsValue_delete(value);
    }
    IedConnection_close(connection);
    IedConnection_destroy(connection);

    char pattern[] = "/tmp/iecx-demo-XXXXXX";
    const std::string dir = ::mkdtemp(pattern) ? pattern : "/tmp";

    heading(4, "GOOSE subscription and capture");
    if (!raw) {
        std::printf("   skipped: raw Ethernet access needs root or CAP_NET_RAW\n");
    } else {
        GooseSubscriberPool pool;
        pool.setTarget(gooseTarget(*publisher, 0, iface));
        std::atomic<int> messages{0};
        pool.timestampUpdated.connect([&](uint64_t) {
            if (messages++ >= 2)
                return;
            const auto& values = pool.getValues();
            const auto& paths = pool.getTarget().paths;
            std::string out = "   message:";
            for (size_t i = 0; i < values.size() && i < paths.size(); ++i)
                out += " " + paths[i].path.substr(paths[i].path.rfind('/') + 1) + "=" +
                       printValue(values[i] ? values[i]->getValue() : nullptr);
            std::printf("%s\n", out.c_str());
        });
        PacketCapturer capturer;
        capturer.initPacketCapture(dir);
        std::atomic<int> frames{0};
        capturer.packetReceived.connect([&](const uint8_t*, int32_t, uint32_t, uint32_t) { ++frames; });
        capturer.startPacketCapturer(iface.c_str(), "");
        pool.start();
        std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
        pool.stop();
        capturer.stopPacketCapturer();
        std::printf("   %d GOOSE messages received, %d frames in %s\n", messages.load(), frames.load(),
                    capturer.getFilePath().c_str());
    }
    ied.stop();

    heading(5, "CID files of the test set's publications");
    try {
        GooseOut goose;
        goose.macAddress = "01-0C-CD-01-01-00";
        goose.appId = 0x0100;
        goose.vlanId = 10;
        goose.vlanPriority = 4;
        goose.dataSetName = "TestSetDS";
        goose.ldReference = "TS/LLN0";
        goose.goCbRef = "TESTSETTS/LLN0$GO$gcbTestSet";
        goose.confRev = 1;
        goose.minTime = 2;
        goose.maxTime = 1000;
        goose.fcdaList = "<FCDA path=\"TS/GGIO1.SPCSO1.stVal\" fc=\"ST\" dataType=\"BOOLEAN\"/>\n"
                         "<FCDA path=\"TS/GGIO1.SPCSO1.q\" fc=\"ST\" dataType=\"BIT_STRING\"/>";
        GooseToCid().saveToCid(goose, dir + "/Goose.cid");
        SvOut sv;
        sv.macAddress = "01-0C-CD-04-01-00";
        sv.appId = 0x4100;
        sv.vlanId = 10;
        sv.vlanPriority = 4;
        for (const char* path :
             {"TESTSETMU/TCTR1.AmpSv.instMag.i[MX]", "TESTSETMU/TVTR1.VolSv.instMag.i[MX]"})
            sv.channels.emplace_back(path, nullptr, 1.0, 0.0);
        SvToCid().saveToCid(sv, dir + "/SV.cid");
        std::printf("   %s/Goose.cid\n   %s/SV.cid\n", dir.c_str(), dir.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx demo: writing CID files failed: %s\n", e.what());
        return kExitFailure;
    }
    std::printf("\nDone. Files are in %s\n", dir.c_str());
    return kExitOk;
}

CommandRegistration registration("demo", "run the whole chain against a simulated IED on this machine",
                                 runDemo);

} // namespace
