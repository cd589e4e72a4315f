// The MMS client commands (browse, read, report, poll) against the simulated IED on loopback:
// values, reports with their reasons, polling, a data set outside LLN0, a control block owned by
// another client, references that do not exist, a silent host, a server that dies mid-run, JSON
// output read back, and wrong arguments.
#include "CliTestUtil.h"
#include "support/IedClient.h"
#include "support/SimIed.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clitest;
using Clock = std::chrono::steady_clock;

class MmsCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.error(); }

    // "127.0.0.1:port " followed by the rest, for the commands' HOST argument.
    std::string host() const { return sim.host() + ":" + std::to_string(sim.port()); }
    CliRun run(const std::string& command, const std::string& rest) {
        return runCli(command + " " + host() + " " + rest);
    }

    iecx::test::SimIed sim{iecx::test::simData("cli.cid"), "CLI"};
};

TEST_F(MmsCli, ReadPrintsValuesStructuresAndErrorsPerReference) {
    const CliRun r =
        run("read", "'CLILD0/GGIO1.AnIn1.mag.f[MX]' 'CLILD0/GGIO1.Ind1[ST]' 'CLILD0/GGIO1.Nothing[ST]'");
    EXPECT_EQ(r.status, 1) << r.err; // one reference could not be read
    EXPECT_TRUE(contains(r.out, "CLILD0/GGIO1.AnIn1.mag.f[MX] = 12.5\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "CLILD0/GGIO1.Ind1[ST] = {stVal=true, q=good, t=")) << r.out;
    EXPECT_TRUE(contains(r.out, "CLILD0/GGIO1.Nothing[ST]: ")) << r.out;

    const CliRun j = run("read", "--json 'CLILD0/GGIO1.Ind1[ST]' 'CLILD0/GGIO1.AnIn1.mag[MX]'");
    ASSERT_EQ(j.status, 0) << j.err;
    const Json doc = Json::parse(j.out);
    ASSERT_EQ(doc["values"].size(), 2u);
    EXPECT_EQ(doc["values"][0]["value"]["stVal"], true);
    EXPECT_EQ(doc["values"][0]["value"]["q"]["quality"][0], "good");
    EXPECT_TRUE(doc["values"][0]["value"]["t"].contains("utc"));
    EXPECT_EQ(doc["values"][1]["value"]["f"], 12.5);
}

TEST_F(MmsCli, ReadWatchPrintsChanges) {
    sim.ied().changeValuesEvery(100);
    const CliRun r = run("read", "'CLILD0/GGIO1.Ind1.stVal[ST]' --watch 50 --seconds 1 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = jsonLines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out; // the first read and at least two changes
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i]["value"], lines[i - 1]["value"]) << r.out;
}

TEST_F(MmsCli, BrowseListsModelDataSetsAndControlBlocks) {
    const CliRun r = run("browse", "--values");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* piece : {"CLILD0\n", "  GGIO1\n", "    AnIn1\n", "      mag [MX]  STRUCTURE\n",
                              "        f  FLOAT = 12.5\n", "      stVal [ST]  BOOLEAN = true\n",
                              "    DataSet CLILD0/GGIO1.Local, 1 members\n", "      CLILD0/GGIO1.Ind2[ST]\n",
                              "    RCB CLILD0/GGIO1.RP.urcbLocal  unbuffered  dataSet CLILD0/GGIO1$Local",
                              "    GoCB CLILD0/LLN0.gcbEvents  dataSet CLILD0/LLN0$Events"})
        EXPECT_TRUE(contains(r.out, piece)) << piece << "\n" << r.out;

    const CliRun j = run("browse", "--json --ld LD0 --depth ln");
    ASSERT_EQ(j.status, 0) << j.err;
    const Json doc = Json::parse(j.out);
    ASSERT_EQ(doc["logicalDevices"].size(), 1u);
    const Json& nodes = doc["logicalDevices"][0]["logicalNodes"];
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_FALSE(nodes[1].contains("dataObjects"));
    EXPECT_EQ(nodes[1]["dataSets"][0]["members"][0], "CLILD0/GGIO1.Ind2[ST]");
    EXPECT_EQ(nodes[0]["gooseControlBlocks"][0]["confRev"], 4);
    EXPECT_EQ(nodes[0]["reportControlBlocks"][0]["enabled"], false);

    const CliRun missing = run("browse", "--ld NOPE");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "no logical device 'NOPE'")) << missing.err;
}

TEST_F(MmsCli, ReportPrintsValuesWithReasonsAndDisablesTheBlock) {
    sim.ied().changeValuesEvery(100);
    const CliRun r = run("report", "CLILD0/LLN0.RP.urcbEvents --gi --count 3 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto reports = jsonLines(r.out);
    ASSERT_EQ(reports.size(), 3u) << r.out;
    std::string reasons;
    for (const Json& report : reports) {
        EXPECT_EQ(report["rptID"], "EventsRpt");
        for (const Json& m : report["members"])
            reasons += m["reason"].get<std::string>() + " ";
    }
    EXPECT_TRUE(contains(reasons, "general-interrogation")) << r.out;
    EXPECT_TRUE(contains(reasons, "data-change")) << r.out;
    EXPECT_TRUE(contains(reports[0].dump(), "CLILD0/GGIO1.AnIn1[MX]")) << r.out;

    // Disabled on exit: another client can enable it at once.
    IedConnection other = iecx::test::connectTo(sim);
    ASSERT_NE(other, nullptr);
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb =
        IedConnection_getRCBValues(other, &error, "CLILD0/LLN0.RP.urcbEvents", nullptr);
    ASSERT_NE(rcb, nullptr);
    EXPECT_FALSE(ClientReportControlBlock_getRptEna(rcb));
    ClientReportControlBlock_destroy(rcb);
    IedConnection_close(other);
    IedConnection_destroy(other);
}

TEST_F(MmsCli, ReportOnADataSetOutsideLln0WithChosenMembers) {
    sim.ied().changeValuesEvery(100);
    const CliRun r =
        run("report", "CLILD0/GGIO1.RP.urcbLocal --member 'CLILD0/GGIO1.Ind2.stVal[ST]' --count 2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "rptID LocalRpt")) << r.out;
    EXPECT_TRUE(contains(r.out, "  CLILD0/GGIO1.Ind2.stVal[ST] = ")) << r.out;
    EXPECT_TRUE(contains(r.out, "reason data-change")) << r.out;
}

TEST_F(MmsCli, ReportRefusesMissingAndOwnedBlocks) {
    const CliRun missing = run("report", "CLILD0/LLN0.RP.nothing01 --count 1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "no report control block 'CLILD0/LLN0.RP.nothing01'")) << missing.err;

    IedConnection owner = iecx::test::connectTo(sim);
    ASSERT_NE(owner, nullptr);
    IedClientError error = IED_ERROR_OK;
    ClientReportControlBlock rcb = ClientReportControlBlock_create("CLILD0/LLN0.RP.urcbEvents");
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(owner, &error, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    ASSERT_EQ(error, IED_ERROR_OK);
    const CliRun owned = run("report", "CLILD0/LLN0.RP.urcbEvents --count 1");
    EXPECT_EQ(owned.status, 1);
    EXPECT_TRUE(contains(owned.err, "is enabled by another client")) << owned.err;
    IedConnection_close(owner);
    IedConnection_destroy(owner);
}

TEST_F(MmsCli, PollPrintsChangesWithTimeStamps) {
    sim.ied().changeValuesEvery(100);
    const CliRun r = run(
        "poll", "'CLILD0/GGIO1.Ind1.stVal[ST]' 'CLILD0/GGIO1.AnIn1.mag.f[MX]' --period=50 --count 4 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0]["reference"], "CLILD0/GGIO1.Ind1.stVal[ST]");
    EXPECT_NE(lines[0]["t"], "-"); // the time stamp of Ind1
    EXPECT_EQ(lines[1]["reference"], "CLILD0/GGIO1.AnIn1.mag.f[MX]");

    const CliRun missing = run("poll", "'CLILD0/GGIO1.Nothing.stVal[ST]' --period 50 --count 1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "CLILD0/GGIO1.Nothing.stVal[ST]: ")) << missing.err;
}

// Each command ends with status 1 and says why when the IED goes away under it.
TEST_F(MmsCli, ServerKilledMidRunEndsTheCommand) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"report", "CLILD0/LLN0.RP.urcbEvents --seconds 30"},
        {"poll", "'CLILD0/GGIO1.Ind1.stVal[ST]' --period 50 --seconds 30"},
        {"read", "'CLILD0/GGIO1.Ind1.stVal[ST]' --watch 50 --seconds 30"},
    };
    for (const auto& [command, rest] : cases) {
        iecx::test::SimIed victim(iecx::test::simData("cli.cid"), "CLI");
        ASSERT_TRUE(victim.ok()) << victim.error();
        std::thread killer([&victim] {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            victim.kill();
        });
        const auto start = Clock::now();
        const CliRun r =
            runCli(command + " " + victim.host() + ":" + std::to_string(victim.port()) + " " + rest);
        killer.join();
        EXPECT_EQ(r.status, 1) << command << r.out << r.err;
        EXPECT_TRUE(contains(r.err, "lost")) << command << r.err;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(15)) << command;
    }
}

// A host that accepts the TCP connection but never answers: every command gives up within its
// --connect-timeout.
TEST(MmsCliSilentHost, GivesUpWithinTheTimeout) {
    iecx::test::SilentDevice silent;
    ASSERT_NE(silent.port(), 0);
    const std::string host = silent.address();
    for (const std::string& command : {"browse " + host, "read " + host + " 'CLILD0/GGIO1.Ind1[ST]'",
                                       "report " + host + " LD0/LLN0.RP.x --count 1",
                                       "poll " + host + " 'CLILD0/GGIO1.Ind1[ST]' --period 100 --count 1"}) {
        const auto start = Clock::now();
        const CliRun r = runCli(command + " --connect-timeout 400");
        EXPECT_EQ(r.status, 1) << command << r.err;
        EXPECT_TRUE(contains(r.err, "cannot connect to " + host)) << command << r.err;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << command;
    }
}

} // namespace
