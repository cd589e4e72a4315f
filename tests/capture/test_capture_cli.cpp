// `iecx capture` end to end: file names, counters in text and JSON, a file it cannot write, and
// an MMS session with the simulated IED captured next to GOOSE and decoded by tshark.
#include "support/TempDir.h"
#include "support/CliRun.h"
#include "test_capture_traffic.h"
#include "support/Dumpcap.h"
#include "support/SimIed.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "goose_publisher.h"
#include "iec61850_client.h"
#include "linked_list.h"
#include "mms_value.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <cstdlib>
#include <thread>
#include <unistd.h>

using namespace iecx::test;

namespace {

// Runs `iecx capture <args>` in the background while `traffic` runs, once the file exists.
CliRun captureDuring(const std::string& args, const std::string& file, const std::function<void()>& traffic) {
    CliRun result;
    std::thread cli([&] { result = runCli("capture " + args); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(file.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    traffic();
    cli.join();
    return result;
}

} // namespace

TEST(CaptureCli, CountsAndJsonNameWithoutBlanksAndErrors) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    const std::string file = dir.path() + "/five.pcap";
    auto r = captureDuring(veth.b() + " -o " + file + " --count 5 --seconds 10 --json", file,
                           [&] { capturetest::publishGoose(veth.a(), 5, 0); });
    EXPECT_EQ(r.status, 0) << r.err;
    auto summary = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(summary.is_discarded()) << r.out;
    EXPECT_EQ(summary["file"], file);
    EXPECT_EQ(summary["captured"], 5);
    EXPECT_EQ(summary["seen"], 5);
    EXPECT_EQ(summary["dropped"], 0);
    EXPECT_EQ(summary["snaplen"], 1518) << "a veth's MTU of 1 500 with header and tag";
    EXPECT_EQ(readPcap(file).records.size(), 5u);

    // The default name follows the library's rule without the blank.
    r = runCli("capture " + veth.b() + " --dir " + dir.path() + " --seconds 0.2");
    EXPECT_EQ(r.status, 0) << r.err;
    auto lines = Tshark::lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0].rfind(dir.path() + "/" + veth.b() + "_dump_", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].find(' '), std::string::npos) << lines[0];
    EXPECT_TRUE(readPcap(lines[0]).ok);
    EXPECT_EQ(lines[1], "0 frames captured, 0 seen by the kernel, 0 dropped");

    r = runCli("capture " + veth.b() + " -o /dev/full --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write '/dev/full'"), std::string::npos) << r.err;
    r = runCli("capture " + veth.b() + " -o " + dir.path() + "/missing/x.pcap --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
    EXPECT_EQ(runCli("capture no-such-if0 --seconds 1").status, 1);
    EXPECT_EQ(runCli("capture").status, 2);
    EXPECT_EQ(runCli("capture " + veth.b() + " --snaplen 5").status, 2);
    EXPECT_EQ(runCli("capture " + veth.b() + " -o a --dir b").status, 2);
}

TEST(CaptureCli, MmsSessionWithTheSimulatedIedDecodesInTshark) {
    if (!haveNetworkRights())
        GTEST_SKIP() << "raw sockets need root";
    IECX_REQUIRE_TSHARK();
    // A loopback address of its own, so that other tests' traffic on lo stays out.
    const std::string host = "127.0.0." + std::to_string(100 + getpid() % 100);
    SimIed sim(simData("simple.cid"), "SIMIED", "", host);
    ASSERT_TRUE(sim.ok()) << sim.error();
    TempDir dir;
    const std::string file = dir.path() + "/mms.pcap";
    auto r = captureDuring("lo --mms " + host + " -o " + file + " --seconds 2", file, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        IedClientError error;
        IedConnection con = IedConnection_create();
        IedConnection_connect(con, &error, host.c_str(), sim.port());
        ASSERT_EQ(error, IED_ERROR_OK);
        LinkedList devices = IedConnection_getLogicalDeviceList(con, &error);
        EXPECT_EQ(error, IED_ERROR_OK);
        LinkedList_destroy(devices);
        IedConnection_release(con, &error);
        IedConnection_destroy(con);
    });
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string port = std::to_string(sim.port());
    // GOOSE and SV of other programs on lo may be in the file too; of IP only the peer's.
    auto all = Tshark::fields(file, {"ip.src", "ip.dst"}, "ip && !(ip.addr == " + host + ")");
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "") << "only the peer's IP frames are captured";
    auto mms = Tshark::fields(file, {"tcp.srcport", "mms.confirmedServiceRequest", "_ws.malformed"}, "mms",
                              std::vector<std::string>{"-d", "tcp.port==" + port + ",tpkt"});
    EXPECT_EQ(mms.exitCode, 0) << mms.err;
    auto pdus = Tshark::lines(mms.out);
    ASSERT_GE(pdus.size(), 4u) << mms.out << mms.err; // initiate, its response, a request, its response
    for (const auto& line : pdus)
        EXPECT_EQ(line.back(), '|') << "malformed: " << line;
    auto syn = Tshark::lines(Tshark::fields(file, {"tcp.flags.syn"}, "tcp.flags.syn == 1").out);
    EXPECT_EQ(syn.size(), 2u) << "SYN and SYN-ACK once each: lo's sent copies are left out";
}
