// A client session with the simulated IED captured on loopback and decoded by tshark's MMS
// dissector: every PDU (browsing, reads, refused writes, control blocks, identify, reports,
// conclude) decodes without errors.
#include "support/Dumpcap.h"
#include "support/SimIed.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

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
    std::string pcap = tempPath("sim_session", ".pcap");
    std::string port = std::to_string(ied.port());
    Dumpcap capture("lo", pcap, "host 127.0.0.9 and tcp port " + port);
    ASSERT_TRUE(capture.ok()) << capture.error();
    // dumpcap announces the capture slightly before its filter sees the first packets.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.9", ied.port());
    ASSERT_EQ(err, IED_ERROR_OK);
    LinkedList_destroy(IedConnection_getServerDirectory(con, &err, false));
    LinkedList_destroy(IedConnection_getLogicalDeviceDirectory(con, &err, "SIMIEDLD0"));
    LinkedList_destroy(
        IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/GGIO1", ACSI_CLASS_DATA_OBJECT));
    LinkedList_destroy(
        IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/LLN0", ACSI_CLASS_DATA_SET));
    LinkedList_destroy(IedConnection_getDataSetDirectory(con, &err, "SIMIEDLD0/LLN0.Status", nullptr));
    LinkedList_destroy(
        IedConnection_getDataDirectoryByFC(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX));
    MmsVariableSpecification* typeDesc =
        IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX);
    MmsVariableSpecification_destroy(typeDesc);
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/LLN0", IEC61850_FC_ST));
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Harm", IEC61850_FC_MX));
    // An array element with a component: a read with an alternate access.
    MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Harm.har(2).mag.f", IEC61850_FC_MX));
    MmsValue_deleteIfNotNull(IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Nothing", IEC61850_FC_ST));
    IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, true); // refused
    ClientGooseControlBlock_destroy(
        IedConnection_getGoCBValues(con, &err, "SIMIEDLD0/LLN0.GO.gcbStatus", nullptr));
    MmsServerIdentity_destroy(MmsConnection_identify(IedConnection_getMmsConnection(con), nullptr));
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(con, &err, "SIMIEDLD0/LLN0.RP.urcbStatus01", nullptr);
    ASSERT_NE(rcb, nullptr);
    IedConnection_installReportHandler(con, "SIMIEDLD0/LLN0.RP.urcbStatus01", "StatusRpt", onReport, nullptr);
    ClientReportControlBlock_setRptEna(rcb, true);
    ClientReportControlBlock_setGI(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA | RCB_ELEMENT_GI, true);
    ClientReportControlBlock_destroy(rcb);
    ied.changeValuesEvery(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ied.changeValuesEvery(0);
    IedConnection_close(con); // conclude and release
    IedConnection_destroy(con);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the last frames reach the file
    capture.stop();
    EXPECT_GT(g_reports.load(), 1);

    auto decoded = Tshark::decode(pcap);
    ASSERT_TRUE(decoded.ran) << decoded.err;
    EXPECT_FALSE(Tshark::hasMalformed(decoded.out)) << decoded.out.substr(0, 20000);
    EXPECT_GE(countOf(decoded.out, "informationReport"), 2u) << decoded.out.substr(0, 20000);
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: "), 7u);
    EXPECT_GE(countOf(decoded.out, "getNameList"), 5u);
    EXPECT_GE(countOf(decoded.out, "ISO 8650-1 OSI Association Control Service"), 2u); // AARQ/AARE, release
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: getVariableAccessAttributes"), 1u);
    EXPECT_GE(countOf(decoded.out, "confirmedServiceRequest: write"), 1u);
    if (!HasFailure())
        std::remove(pcap.c_str());
}
