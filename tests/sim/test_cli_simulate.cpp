// `iecx simulate` as a process: serves until SIGINT, then shuts down cleanly with exit 0.
#include "support/CliRun.h"
#include "support/SimIed.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using namespace iecx::test;

TEST(SimCli, ServesUntilInterrupted) {
    CliProcess c({"simulate", simData("simple.cid"), "--ied", "SIMIED", "--port", "0", "--bind", "127.0.0.3",
                  "--change-ms", "20"});
    ASSERT_TRUE(c.waitForOutput("\n", 10000)) << c.err();
    std::string banner = c.out();
    auto colon = banner.find("127.0.0.3:");
    ASSERT_NE(colon, std::string::npos) << banner;
    int port = std::atoi(banner.c_str() + colon + 10);
    ASSERT_GT(port, 0) << banner;

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.3", port);
    ASSERT_EQ(err, IED_ERROR_OK);
    float first = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_EQ(err, IED_ERROR_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    float later = IedConnection_readFloatValue(con, &err, "SIMIEDLD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
    EXPECT_NE(first, later); // --change-ms makes measured values drift

    // Interrupted with a client still connected.
    c.interrupt();
    ASSERT_TRUE(c.waitForExit(10000));
    EXPECT_EQ(c.exitCode(), 0);
    EXPECT_NE(c.out().find("served", banner.size()), std::string::npos) << c.out();
    IedConnection_destroy(con);
}

TEST(SimCli, UsageAndInputErrors) {
    struct Case {
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {{"simulate"}, 2},
        {{"simulate", "--help"}, 0},
        {{"simulate", simData("simple.cid"), "--port", "70000"}, 2},
        {{"simulate", simData("simple.cid"), "--bogus"}, 2},
        {{"simulate", "/nonexistent.cid"}, 1},
        {{"simulate", simData("simple.cid"), "--ied", "NOPE"}, 1},
        {{"simulate", simData("simple.cid"), "--bind", "300.1.1.1", "--port", "0"}, 1},
    };
    for (const auto& tc : cases) {
        CliProcess c(tc.args);
        ASSERT_TRUE(c.waitForExit(10000)) << tc.args.back();
        EXPECT_EQ(c.exitCode(), tc.exit) << tc.args.back();
    }
}
