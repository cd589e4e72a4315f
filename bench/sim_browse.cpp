// Browsing a large simulated IED through the stack's client, and report latency.
//
//   bench_sim_browse [ATTRIBUTES]   (default 10000 data attributes)
//
// Prints: the single read round trip on loopback (the baseline), the time to browse the whole
// model down to every data attribute as the IED explorer does (server, device, logical node and
// data directories), the number of round trips it took (MMS requests sent) and the ratio
// browse time / (round trips x read round trip); then the latency from a value change in the
// simulated IED to the client's report handler, as a ratio to the read round trip.
#include "sim/SimulatedIed.h"

#include "iec61850_client.h"
#include "mms_client_connection.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double usSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// One logical device with `lnCount` GGIO nodes of 8 single-point statuses and 2 measured values
// (33 data attributes each), a data set and a report control block on the first one.
std::string writeScl(int lnCount) {
    char path[] = "/tmp/iecx_bench_sim_XXXXXX.cid";
    int fd = mkstemps(path, 4);
    if (fd < 0)
        return "";
    close(fd);
    std::ofstream out(path);
    out << "<?xml version=\"1.0\"?>\n<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\">\n"
           "<IED name=\"BIG\"><AccessPoint name=\"AP1\"><Server><LDevice inst=\"LD0\">\n"
           "<LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"LLN0_T\">\n"
           "<DataSet name=\"DS\"><FCDA ldInst=\"LD0\" lnClass=\"GGIO\" lnInst=\"1\" doName=\"Ind1\" "
           "daName=\"stVal\" fc=\"ST\"/></DataSet>\n"
           "<ReportControl name=\"rcb\" datSet=\"DS\" rptID=\"R\" confRev=\"1\" buffered=\"false\">"
           "<TrgOps dchg=\"true\"/><OptFields seqNum=\"true\" reasonCode=\"true\"/></ReportControl>\n"
           "</LN0>\n";
    for (int i = 1; i <= lnCount; ++i)
        out << "<LN lnClass=\"GGIO\" inst=\"" << i << "\" lnType=\"GGIO_T\"/>\n";
    out << "</LDevice></Server></AccessPoint></IED>\n<DataTypeTemplates>\n"
           "<LNodeType id=\"LLN0_T\" lnClass=\"LLN0\"><DO name=\"Beh\" type=\"SPS\"/></LNodeType>\n"
           "<LNodeType id=\"GGIO_T\" lnClass=\"GGIO\">";
    for (int d = 1; d <= 8; ++d)
        out << "<DO name=\"Ind" << d << "\" type=\"SPS\"/>";
    out << "<DO name=\"AnIn1\" type=\"MV\"/><DO name=\"AnIn2\" type=\"MV\"/><DO name=\"Beh\" type=\"SPS\"/>"
           "</LNodeType>\n"
           "<DOType id=\"SPS\" cdc=\"SPS\"><DA name=\"stVal\" bType=\"BOOLEAN\" fc=\"ST\" dchg=\"true\"/>"
           "<DA name=\"q\" bType=\"Quality\" fc=\"ST\" qchg=\"true\"/><DA name=\"t\" bType=\"Timestamp\" "
           "fc=\"ST\"/>"
           "</DOType>\n"
           "<DOType id=\"MV\" cdc=\"MV\"><DA name=\"mag\" bType=\"Struct\" type=\"AV\" fc=\"MX\" "
           "dchg=\"true\"/>"
           "<DA name=\"q\" bType=\"Quality\" fc=\"MX\" qchg=\"true\"/><DA name=\"t\" bType=\"Timestamp\" "
           "fc=\"MX\"/>"
           "</DOType>\n"
           "<DAType id=\"AV\"><BDA name=\"f\" bType=\"FLOAT32\"/></DAType>\n"
           "</DataTypeTemplates></SCL>\n";
    return path;
}

std::vector<std::string> names(LinkedList list) {
    std::vector<std::string> out;
    for (LinkedList e = LinkedList_getNext(list); e; e = LinkedList_getNext(e))
        out.emplace_back(static_cast<const char*>(LinkedList_getData(e)));
    if (list)
        LinkedList_destroy(list);
    return out;
}

std::atomic<uint64_t> g_requests{0};
void onRawMessage(void*, uint8_t*, int, bool received) {
    if (!received)
        ++g_requests;
}

// Expands one attribute path under one FC down to its leaves.
size_t expand(IedConnection con, const std::string& ref, FunctionalConstraint fc) {
    IedClientError err;
    auto children = names(IedConnection_getDataDirectoryByFC(con, &err, ref.c_str(), fc));
    if (children.empty())
        return 1;
    size_t leaves = 0;
    for (const auto& c : children)
        leaves += expand(con, ref + "." + c, fc);
    return leaves;
}

struct Latency {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t count = 0;
    static void onReport(void* p, ClientReport) {
        auto* self = static_cast<Latency*>(p);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->count;
        self->cv.notify_all();
    }
};

} // namespace

int main(int argc, char** argv) {
    int attributes = argc > 1 ? std::atoi(argv[1]) : 10000;
    int lnCount = std::max(1, (attributes - 3) / 33);
    std::string file = writeScl(lnCount);
    iecx::sim::SimulatedIed sim;
    sim.load(file, "");
    std::remove(file.c_str());
    if (!sim.start("127.0.0.1", 0)) {
        std::fprintf(stderr, "cannot start the simulated IED: %s\n", sim.lastError().c_str());
        return 1;
    }
    std::printf("model: %zu data attributes in %d logical nodes\n", sim.model().attributeCount(),
                lnCount + 1);

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", sim.port());
    if (err != IED_ERROR_OK) {
        std::fprintf(stderr, "connect failed: %d\n", err);
        return 1;
    }
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), onRawMessage, nullptr);

    // Baseline: one read round trip.
    const int kReads = 2000;
    for (int i = 0; i < 100; ++i)
        MmsValue_delete(IedConnection_readObject(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    auto t0 = Clock::now();
    for (int i = 0; i < kReads; ++i)
        MmsValue_delete(IedConnection_readObject(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    double readUs = usSince(t0) / kReads;
    std::printf("read round trip: %.1f us (%.0f reads/s)\n", readUs, 1e6 / readUs);

    // The request the browse mostly makes: the type of one attribute.
    t0 = Clock::now();
    for (int i = 0; i < kReads; ++i)
        MmsVariableSpecification_destroy(
            IedConnection_getVariableSpecification(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    double typeUs = usSince(t0) / kReads;
    std::printf("type round trip: %.1f us (%.2f x read)\n", typeUs, typeUs / readUs);

    // Browse the whole model as the explorer does.
    g_requests = 0;
    t0 = Clock::now();
    size_t leaves = 0;
    double cachedUs = 0; // directory calls the client answers from its name list, without a request
    for (const auto& ld : names(IedConnection_getServerDirectory(con, &err, false)))
        for (const auto& ln : names(IedConnection_getLogicalDeviceDirectory(con, &err, ld.c_str()))) {
            std::string lnRef = ld + "/" + ln;
            for (const auto& dobj : names(IedConnection_getLogicalNodeDirectory(con, &err, lnRef.c_str(),
                                                                                ACSI_CLASS_DATA_OBJECT))) {
                std::string doRef = lnRef + "." + dobj;
                auto tFc = Clock::now();
                auto fcChildren = names(IedConnection_getDataDirectoryFC(con, &err, doRef.c_str()));
                cachedUs += usSince(tFc);
                for (const auto& child : fcChildren) {
                    size_t open = child.find('[');
                    FunctionalConstraint fc = FunctionalConstraint_fromString(child.c_str() + open + 1);
                    leaves += expand(con, doRef + "." + child.substr(0, open), fc);
                }
            }
        }
    double browseUs = usSince(t0);
    uint64_t roundTrips = g_requests.load();
    std::printf("browse: %zu data attributes in %.1f ms, %llu round trips, %.1f us per attribute\n", leaves,
                browseUs / 1000.0, static_cast<unsigned long long>(roundTrips), browseUs / leaves);
    std::printf("browse time / (round trips x read round trip) = %.2f\n",
                roundTrips ? browseUs / (roundTrips * readUs) : 0.0);
    std::printf(
        "of which %.1f ms in data directory calls answered from the client's name list (no request)\n",
        cachedUs / 1000.0);

    // Report latency: value change in the simulator to the client's handler.
    Latency latency;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, "BIGLD0/LLN0.RP.rcb", nullptr);
    IedConnection_installReportHandler(con, "BIGLD0/LLN0.RP.rcb", "R", &Latency::onReport, &latency);
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    std::vector<double> samples;
    const int kReports = 1000;
    for (int i = 0; i < kReports; ++i) {
        MmsValue* v = MmsValue_newBoolean(i % 2 == 0);
        uint64_t before;
        {
            std::lock_guard<std::mutex> lock(latency.mutex);
            before = latency.count;
        }
        auto start = Clock::now();
        sim.setValue("LD0/GGIO1.Ind1.stVal", v);
        MmsValue_delete(v);
        std::unique_lock<std::mutex> lock(latency.mutex);
        if (!latency.cv.wait_for(lock, std::chrono::seconds(2), [&] { return latency.count > before; })) {
            std::fprintf(stderr, "report %d did not arrive\n", i);
            break;
        }
        samples.push_back(usSince(start));
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        double median = samples[samples.size() / 2];
        double p99 = samples[samples.size() * 99 / 100];
        std::printf(
            "report latency: median %.1f us, p99 %.1f us (%zu reports); median / read round trip = %.2f\n",
            median, p99, samples.size(), median / readUs);
    }
    IedConnection_destroy(con);
    sim.stop();
    return 0;
}
