// A client session with the simulated IED captured on loopback and decoded by tshark's MMS
// dissector: every PDU, reports included, decodes without errors.
#include "support/SimIed.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace iecx::test;

namespace {
std::atomic<int> g_reports{0};
void onReport(void*, ClientReport) {
    ++g_reports;
}

// dumpcap capturing on lo into a file; started() once it reports that it captures.
class Capture {
public:
    Capture(const std::string& filter, const std::string& file) {
        int errPipe[2];
        if (pipe(errPipe) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            dup2(errPipe[1], 2);
            close(errPipe[0]);
            execlp("dumpcap", "dumpcap", "-i", "lo", "-f", filter.c_str(), "-w", file.c_str(), "-a",
                   "duration:30", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(errPipe[1]);
        _err = errPipe[0];
        // Wait for "Capturing on 'Loopback: lo'" (at most 15 s).
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline &&
               _message.find("Capturing on") == std::string::npos) {
            pollfd p{_err, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buf[256];
            ssize_t n = read(_err, buf, sizeof buf);
            if (n <= 0)
                break;
            _message.append(buf, static_cast<size_t>(n));
        }
        _started = _message.find("Capturing on") != std::string::npos;
    }
    ~Capture() { stop(); }
    bool started() const { return _started; }
    const std::string& message() const { return _message; }
    void stop() {
        if (_pid > 0) {
            // Give the last frames time to reach the file, then end the capture.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(_pid, SIGINT);
            int status;
            waitpid(_pid, &status, 0);
            _pid = -1;
        }
        if (_err >= 0)
            close(_err);
        _err = -1;
    }

private:
    pid_t _pid = -1;
    int _err = -1;
    bool _started = false;
    std::string _message;
};

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}
} // namespace

TEST(SimWire, SessionDecodesCleanlyInTshark) {
    IECX_REQUIRE_TSHARK();
    if (!haveNetworkRights())
        GTEST_SKIP() << "capturing on lo needs root";
    // Port 102 of an address of our own, so that tshark recognises the protocol by its port.
    iecx::sim::SimulatedIed ied;
    ied.load(simData("simple.cid"), "SIMIED");
    if (!ied.start("127.0.0.9", 102))
        GTEST_SKIP() << "127.0.0.9:102 is taken: " << ied.lastError();
    struct {
        iecx::sim::SimulatedIed& i;
        iecx::sim::SimulatedIed& ied() { return i; }
        uint16_t port() const { return i.port(); }
    } sim{ied};
    std::string pcap = tempPath("sim_session", "pcapng");
    std::string port = std::to_string(sim.port());
    Capture capture("host 127.0.0.9 and tcp port " + port, pcap);
    ASSERT_TRUE(capture.started()) << capture.message();
    // dumpcap announces the capture slightly before its filter sees the first packets.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.9", sim.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    LinkedList l = IedConnection_getServerDirectory(con, &err, false);
    LinkedList_destroy(l);
    l = IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/GGIO1", ACSI_CLASS_DATA_OBJECT);
    LinkedList_destroy(l);
    MmsVariableSpecification* spec =
        IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX);
    MmsVariableSpecification_destroy(spec);
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/LLN0", IEC61850_FC_ST));
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Harm", IEC61850_FC_MX));
    // An array element with a component: a read with an alternate access.
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Harm.har(2).mag.f", IEC61850_FC_MX));
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(con, &err, "SIMIEDLD0/LLN0.RP.urcbStatus01", nullptr);
    ASSERT_NE(rcb, nullptr);
    IedConnection_installReportHandler(con, "SIMIEDLD0/LLN0.RP.urcbStatus01", "StatusRpt", onReport, nullptr);
    ClientReportControlBlock_setRptEna(rcb, true);
    ClientReportControlBlock_setGI(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA | RCB_ELEMENT_GI, true);
    ClientReportControlBlock_destroy(rcb);
    sim.ied().changeValuesEvery(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sim.ied().changeValuesEvery(0);
    IedConnection_release(con, &err);
    IedConnection_destroy(con);
    capture.stop();
    EXPECT_GT(g_reports.load(), 1);

    auto decoded = Tshark::decode(pcap);
    ASSERT_TRUE(decoded.ran) << decoded.err;
    EXPECT_FALSE(Tshark::hasMalformed(decoded.out)) << decoded.out.substr(0, 20000);
    EXPECT_GE(countOf(decoded.out, "informationReport"), 2u) << decoded.out.substr(0, 20000);
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: "), 7u);
    EXPECT_GE(countOf(decoded.out, "getNameList"), 2u);
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: getVariableAccessAttributes"), 1u);
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: write"), 1u);
    if (!HasFailure())
        std::remove(pcap.c_str());
}
