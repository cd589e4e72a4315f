// A whole client session captured on the loopback interface and decoded by tshark's MMS
// dissector: every PDU must decode without malformed packets or BER errors.
#include "support/Tshark.h"
#include "iec61850_client.h"
#include "test_mms_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace mmstest;

namespace {

void browseReadWriteAndReport(uint16_t port, TestModel& model) {
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", port);
    ASSERT_EQ(err, IED_ERROR_OK);
    LinkedList_destroy(IedConnection_getServerDirectory(con, &err, false));
    LinkedList_destroy(IedConnection_getLogicalDeviceDirectory(con, &err, "LD0"));
    LinkedList_destroy(IedConnection_getLogicalNodeDirectory(con, &err, "LD0/LLN0", ACSI_CLASS_DATA_SET));
    LinkedList_destroy(IedConnection_getDataSetDirectory(con, &err, "LD0/LLN0.DS1", nullptr));
    LinkedList_destroy(IedConnection_getDataDirectoryByFC(con, &err, "LD0/GGIO1.Types", IEC61850_FC_ST));
    MmsValue_deleteIfNotNull(IedConnection_readObject(con, &err, "LD0/GGIO1.Types", IEC61850_FC_ST));
    MmsValue_deleteIfNotNull(IedConnection_readObject(con, &err, "LD0/GGIO1.Nothing", IEC61850_FC_ST));
    IedConnection_writeBooleanValue(con, &err, "LD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, true);
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, "LD0/LLN0.RP.urcb01", nullptr);
    ASSERT_NE(rcb, nullptr);
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    model.sendUrcbReport(0x3, 1);
    ClientGooseControlBlock_destroy(IedConnection_getGoCBValues(con, &err, "LD0/LLN0.gcb01", nullptr));
    MmsServerIdentity_destroy(MmsConnection_identify(IedConnection_getMmsConnection(con), nullptr));
    IedConnection_close(con); // conclude and release
    IedConnection_destroy(con);
}

} // namespace

TEST(MmsCapture, SessionDecodesCleanlyInTshark) {
    IECX_REQUIRE_TSHARK();
    if (geteuid() != 0)
        GTEST_SKIP() << "capturing on lo needs root";
    TestModel model;
    stack::mms::MmsServer server(model);
    ASSERT_TRUE(server.start("127.0.0.1", 0));
    uint16_t port = server.port();
    std::string decodeAs = "tcp.port==" + std::to_string(port) + ",tpkt";
    // Capture start-up time varies a lot on a busy machine: a capture that missed the session
    // (no TPKT at all) is repeated once.
    iecx::test::TsharkResult detail;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string pcap = iecx::test::tempPath("mms_session", "pcapng");
        std::thread capture([&]() {
            iecx::test::Tshark::run(
                {"-i", "lo", "-f", "tcp port " + std::to_string(port), "-a", "duration:4", "-w", pcap, "-q"},
                30000);
        });
        // Wait for the capture to run (the file appears when dumpcap has opened the interface).
        for (int i = 0; i < 400 && !std::ifstream(pcap).good(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        browseReadWriteAndReport(port, model);
        capture.join();
        detail = iecx::test::Tshark::decode(pcap, {"-d", decodeAs, "-V"});
        std::remove(pcap.c_str());
        ASSERT_TRUE(detail.ran) << detail.err;
        if (detail.out.find("TPKT") != std::string::npos)
            break;
    }
    EXPECT_FALSE(iecx::test::Tshark::hasMalformed(detail.out)) << detail.out.substr(0, 20000);
    auto count = [&](const std::string& needle) {
        size_t n = 0;
        for (size_t p = detail.out.find(needle); p != std::string::npos; p = detail.out.find(needle, p + 1))
            ++n;
        return n;
    };
    // initiate, 9 confirmed exchanges (some with several pages), report, identify, conclude
    EXPECT_GE(count("\nMMS\n"), 26u) << detail.out.substr(0, 4000);
    EXPECT_GE(count("ISO 8650-1 OSI Association Control Service"), 2u); // AARQ/AARE (and release)
    EXPECT_NE(detail.out.find("informationReport"), std::string::npos);
    EXPECT_NE(detail.out.find("getNameList"), std::string::npos);
}
