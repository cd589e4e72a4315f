// iecx demo walks the whole workflow on the example station and ends by itself; iecx tree drives
// the model nodes.
#include "CliTestUtil.h"
#include "support/Veth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

using clitest::contains;

TEST(DemoCli, WalksEveryProtocolAndChecksTheValues) {
    // A namespace of its own, so that the demo's loopback carries no other test's GOOSE.
    iecx::test::Netns ns("iecxdemo");
    const auto r = iecx::test::runCommand(ns.prefix() + " " IECX_CLI_PATH " demo --seconds 1");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "PROT1 serves MMS on 127.0.0.1:")) << r.out;
    EXPECT_TRUE(contains(r.out, "/Goose.cid")) << r.out;
    EXPECT_TRUE(contains(r.out, "/SV.cid")) << r.out;
    EXPECT_TRUE(contains(r.out, "Checked against the IEDs: ")) << r.out;
    EXPECT_TRUE(contains(r.out, "polling ")) << r.out;
    EXPECT_TRUE(contains(r.out, "reports ")) << r.out;
    if (geteuid() == 0) {
        EXPECT_TRUE(contains(r.out, "GOOSE ")) << r.out;
        EXPECT_TRUE(contains(r.out, "SV ASDUs ")) << r.out;
    } else {
        EXPECT_TRUE(contains(r.out, "skipped: raw Ethernet needs root")) << r.out;
    }
    auto at = r.out.find("/tmp/iecx-demo-");
    ASSERT_NE(at, std::string::npos);
    std::string dir = r.out.substr(at, r.out.find('/', at + 5) - at);
    std::system(("rm -rf '" + dir + "'").c_str());
}

// iecx demo --ui: the web host against the simulated IEDs with the example station loaded. The
// page and the model answer with the printed token, the model refuses without it, and Ctrl-C
// ends the demo cleanly.
TEST(DemoCli, UiServesThePageAgainstTheSimulatedIed) {
    iecx::test::Netns ns("iecxdemoui");
    const std::string script = "log=$(mktemp); " IECX_CLI_PATH " demo --ui >$log 2>&1 & p=$!; "
                               "for i in $(seq 100); do grep -q ^http $log && break; sleep 0.1; done; "
                               "url=$(grep -m1 ^http $log); base=${url%%/?token=*}; token=${url##*token=}; "
                               "echo PAGE $(curl -s -o /dev/null -w %{http_code} \"$url\"); "
                               "echo MODEL $(curl -s \"$base/api/model?token=$token\"); "
                               "echo REFUSED $(curl -s -o /dev/null -w %{http_code} \"$base/api/model\"); "
                               "kill -INT $p; wait $p; echo EXIT $?; cat $log; rm -f $log";
    const auto r = iecx::test::runCommand(ns.prefix() + " sh -c '" + script + "'");
    EXPECT_TRUE(contains(r.out, "PAGE 200")) << r.out << r.err;
    // The model arrives with the station's GOOSE gcbPos chosen and its leaves in the tree.
    const std::size_t model = r.out.find("MODEL {");
    ASSERT_NE(model, std::string::npos) << r.out << r.err;
    const auto doc = nlohmann::json::parse(r.out.substr(model + 6, r.out.find('\n', model) - model - 6));
    EXPECT_GT(doc["checked"].get<int>(), 0) << doc.dump();
    EXPECT_TRUE(contains(doc.dump(), "PROT1CTRL/LLN0$GO$gcbPos")) << doc.dump();
    EXPECT_FALSE(contains(r.out, "REFUSED 200")) << r.out;
    EXPECT_TRUE(contains(r.out, "EXIT 0")) << r.out;
    EXPECT_TRUE(contains(r.out, "(connected to 127.0.0.1:")) << r.out;
}

TEST(DemoCli, TreeDrivesTheModelsFromAFile) {
    const auto r = iecx::test::runCli("tree " IECX_EXAMPLES_DIR "/station.scd"
                                      " --protocol goose --device PROT1 --element gcbPos --types all --json");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["element"]["chosen"], "gcbPos");
    EXPECT_EQ(doc["parameters"]["CBreference"], "PROT1CTRL/LLN0$GO$gcbPos");
    EXPECT_EQ(doc["target"]["goCbRef"], "PROT1CTRL/LLN0$GO$gcbPos");
    EXPECT_EQ(doc["target"]["confRev"], 2);
    std::vector<std::string> paths;
    for (const auto& leaf : doc["checked"])
        paths.push_back(leaf["path"]);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "PROT1CTRL/Q0CSWI1.Pos.stVal[ST]"), paths.end()) << r.out;
    EXPECT_NE(std::find(paths.begin(), paths.end(), "PROT1CTRL/GGIO1.Ind2.stVal[ST]"), paths.end()) << r.out;
}
