// `iecx goose` run as a process against a publisher on a veth pair.
#include "test_goose_support.h"

#include <unistd.h>

namespace {

using namespace goosetest;

// The GOOSE control block of the simulated IED's SCL file.
Publication simpleCidPublication() {
    Publication p;
    p.appId = 0x1021;
    const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x21};
    std::memcpy(p.dstMac, mac, 6);
    p.goCbRef = "SIMIEDLD0/LLN0$GO$gcbStatus";
    p.goId = "SIMIED_Status";
    p.dataSetRef = "SIMIEDLD0/LLN0$Status";
    p.confRev = 2;
    return p;
}

const std::string kSimpleCid = std::string(IECX_TEST_DATA_DIR) + "/sim/simple.cid";

TEST_F(GoosePoolTest, CliWithSclFilePrintsTheMembersOfMatchingMessages) {
    Publisher matching(veth.a(), simpleCidPublication());
    Publication wrongConfRev = simpleCidPublication();
    wrongConfRev.confRev = 3;
    Publisher other(veth.a(), wrongConfRev);
    CliProcess cli({"goose", veth.b(), "--scl", kSimpleCid, "--count", "2", "--seconds", "10"});
    bool ended = cli.waitForExit(10000, [&] {
        other.publish(false, 5);
        matching.publish(true, 5);
    });
    ASSERT_TRUE(ended) << cli.err();
    EXPECT_EQ(cli.exitCode(), 0) << cli.err();
    const std::string& out = cli.out();
    EXPECT_EQ(out.rfind("message ", 0), 0u) << out;
    EXPECT_NE(out.find("\n  LD0/GGIO1.Ind1.stVal[ST] = true  t=-\n  LD0/GGIO1.Ind1.q[ST] = "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n  LD0/XCBR1.Pos.stVal[ST] = "), std::string::npos) << out;
    EXPECT_EQ(out.find("false"), std::string::npos) << "a message with another confRev was printed:\n" << out;
    EXPECT_NE(cli.err().find("SIMIEDLD0/LLN0$GO$gcbStatus"), std::string::npos) << cli.err();
    EXPECT_NE(cli.err().find("2 messages"), std::string::npos) << cli.err();
}

TEST_F(GoosePoolTest, CliObserveModePrintsHeaderAndDataSet) {
    Publisher publisher(veth.a(), Publication{});
    CliProcess cli({"goose", veth.b(), "--appid", "0x1001", "--count", "1", "--seconds", "10"});
    ASSERT_TRUE(cli.waitForExit(10000, [&] { publisher.publish(true, 42); })) << cli.err();
    EXPECT_EQ(cli.exitCode(), 0) << cli.err();
    const std::string& out = cli.out();
    EXPECT_NE(
        out.find(" appId=0x1001\n  goCbRef=IED1LD0/LLN0$GO$gcb1 goId=IED1_gcb1 dataSet=IED1LD0/LLN0$ds1\n"),
        std::string::npos)
        << out;
    for (const char* field : {" src=", " dst=", " vlan=", " stNum=", " sqNum=", " confRev=", " simulation=",
                              " ndsCom=", " ttl=", " numDatSetEntries="})
        EXPECT_NE(out.find(field), std::string::npos) << field << "\n" << out;
    EXPECT_NE(out.find("  [0] true\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  [3] 42\n"), std::string::npos) << out;
}

// `iecx goose` and `iecx sv` without the rights for raw Ethernet say so (their usage errors are in
// the CLI's usage table).
TEST(AcquisitionCli, MissingRights) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the missing-rights case needs root to drop privileges";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"goose", "lo", "--seconds", "1"},
          std::vector<std::string>{"sv", "lo", "--appid", "0x4000", "--seconds", "1"}}) {
        CliProcess unprivileged(args, /*unprivileged=*/true);
        ASSERT_TRUE(unprivileged.waitForExit(5000));
        EXPECT_EQ(unprivileged.exitCode(), 1);
        EXPECT_NE(unprivileged.err().find("needs root or CAP_NET_RAW"), std::string::npos)
            << unprivileged.err();
    }
}

} // namespace
