// `iecx sv` run as a process against SV publishers on a veth pair.
#include "test_goose_support.h"

#include <nlohmann/json.hpp>

namespace {

using namespace goosetest;

TEST_F(GoosePoolTest, SvCountsAsdusAndSmpCntGapsPerStreamUntilCtrlC) {
    SvStream first(veth.a(), 0x4000, "MU01", 1, 0x01);
    SvStream second(veth.a(), 0x4001, "MU02", 1, 0x02);
    CliProcess cli(
        {"sv", veth.b(), "--appid", "0x4000", "--appid", "16385", "--interval", "0.05", "--seconds", "20"});
    // Both streams count 0..79 and restart at 0. Once the tool reports both, the first stream
    // skips smpCnt 30..34 once; then Ctrl-C ends the tool.
    uint16_t firstCnt = 0;
    uint16_t secondCnt = 0;
    bool skipped = false;
    auto step = [&](bool skip) {
        if (skip && !skipped && firstCnt == 30) {
            firstCnt = 35;
            skipped = true;
        }
        first.publish(firstCnt);
        second.publish(secondCnt);
        firstCnt = static_cast<uint16_t>((firstCnt + 1) % 80);
        secondCnt = static_cast<uint16_t>((secondCnt + 1) % 80);
    };
    bool reporting = false;
    for (int i = 0; i < 500 && !reporting && !cli.poll(); ++i) {
        step(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        reporting = cli.out().find("MU01 appid=0x4000") != std::string::npos &&
                    cli.out().find("MU02 appid=0x4001") != std::string::npos;
    }
    ASSERT_TRUE(reporting) << cli.out() << cli.err();
    for (int i = 0; i < 200; ++i) {
        step(i > 80);
        if (i % 20 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(skipped);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cli.interrupt();
    ASSERT_TRUE(cli.waitForExit(5000, [] {})) << cli.err();
    EXPECT_EQ(cli.exitCode(), 0) << cli.err();
    const std::string& out = cli.out();
    size_t summary = out.find("summary: 2 streams");
    ASSERT_NE(summary, std::string::npos) << out;
    std::string tail = out.substr(summary);
    size_t mu01 = tail.find("  MU01 appid=0x4000 ");
    size_t mu02 = tail.find("  MU02 appid=0x4001 ");
    ASSERT_NE(mu01, std::string::npos) << out;
    ASSERT_NE(mu02, std::string::npos) << out;
    EXPECT_NE(tail.find("gaps=1 missing=5\n", mu01), std::string::npos) << out;
    EXPECT_NE(tail.find("gaps=0 missing=0\n", mu02), std::string::npos) << out;
}

TEST_F(GoosePoolTest, SvStreamsFromSclFileUseTheirFilters) {
    // station_2007.scd: MSVCB01 (APPID 0x4000, svID RELAY1MU01, 80 per 50 Hz period) and
    // MSVCB02 (APPID 0x4001, svID RELAY2MU01, 4000 per second).
    SvStream relay1(veth.a(), 0x4000, "RELAY1MU01", 1, 0x01);
    SvStream wrongSvId(veth.a(), 0x4000, "OTHER", 1, 0x01);
    CliProcess cli({"sv", veth.b(), "--scl", std::string(IECX_TEST_DATA_DIR) + "/scl/station_2007.scd",
                    "--count", "50", "--seconds", "10", "--json"});
    uint16_t cnt = 0;
    ASSERT_TRUE(cli.waitForExit(10000, [&] {
        for (int i = 0; i < 10; ++i, ++cnt) {
            wrongSvId.publish(cnt);
            relay1.publish(cnt);
        }
    })) << cli.err();
    EXPECT_EQ(cli.exitCode(), 0) << cli.err();
    const auto summary = nlohmann::json::parse(cli.out());
    ASSERT_EQ(summary["streams"].size(), 1u) << cli.out();
    EXPECT_EQ(summary["streams"][0]["svId"], "RELAY1MU01");
    EXPECT_EQ(summary["streams"][0]["appId"], 16384);
    EXPECT_EQ(summary["streams"][0]["expected"], 4000);
    EXPECT_EQ(cli.out().find("OTHER"), std::string::npos) << cli.out();
}

} // namespace
