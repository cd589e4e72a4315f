// IecModelExplorer against the simulated IEDs of examples/station.scd on loopback: devices,
// nodes, data with FCs, data sets, report and GOOSE control blocks, member expansion, and
// connections that fail, end or move to another server.
#include "mms/IecModelExplorer.h"
#include "mms/MmsDatasetHelper.h"

#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace VorIec61850;
using iecx::test::SimIed;

namespace {

using Names = std::vector<std::string>;
using Tokens = std::vector<std::string>;

const std::string kStation = std::string(IECX_EXAMPLES_DIR) + "/station.scd";

// Waits (bounded) until the server counts the given number of open connections.
bool waitForConnections(SimIed& sim, std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (sim.ied().connectionCount() != count && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return sim.ied().connectionCount() == count;
}

std::set<std::string> asSet(const Names& names) {
    return std::set<std::string>(names.begin(), names.end());
}

// Connects with the explorer's diagnostic line captured; returns the line.
std::string connectQuietly(IecModelExplorer& explorer, SimIed& sim, int* result = nullptr) {
    ::testing::internal::CaptureStdout();
    const int r = explorer.connect(sim.host(), sim.port());
    if (result)
        *result = r;
    return ::testing::internal::GetCapturedStdout();
}

// The leaves below a node, depth first.
void collectLeaves(VorTree::Node& node, std::vector<FunctionalConDA*>& leaves) {
    for (VorTree::Node* child : node) {
        if (child->empty())
            leaves.push_back(dynamic_cast<FunctionalConDA*>(child));
        else
            collectLeaves(*child, leaves);
    }
}

// One simulated PROT1 for the whole suite; each test connects its own explorer.
class ExplorerBrowse : public ::testing::Test {
protected:
    static void SetUpTestSuite() { prot1 = new SimIed(kStation, "PROT1"); }
    static void TearDownTestSuite() {
        delete prot1;
        prot1 = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(prot1->ok()) << prot1->error();
        int result = -1;
        ASSERT_EQ(connectQuietly(explorer, *prot1, &result), "Connection ok\n");
        ASSERT_EQ(result, 0);
        ASSERT_EQ(explorer.connectionState(), IED_STATE_CONNECTED);
    }
    void TearDown() override { explorer.disconnect(); }

    static SimIed* prot1;
    IecModelExplorer explorer;
};

SimIed* ExplorerBrowse::prot1 = nullptr;

} // namespace

TEST_F(ExplorerBrowse, DevicesNodesAndDataObjects) {
    EXPECT_EQ(explorer.getLogicalDevices(), (Names{"PROT1PROT", "PROT1CTRL"}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    EXPECT_EQ(explorer.getLogicalNodes("PROT1PROT"),
              (Names{"LLN0", "LPHD1", "PTOC1", "EFPTOC2", "PTRC1", "MMXU1"}));
    EXPECT_EQ(explorer.getLogicalNodes("PROT1CTRL"), (Names{"LLN0", "Q0XCBR1", "Q0CSWI1", "GGIO1"}));
    EXPECT_EQ(explorer.getDataObjects("PROT1PROT/PTRC1"), (Names{"Mod", "Beh", "Str", "Op", "Tr"}));
    // In the order the server's variables come: by FC (CF, DC, ST), each in model order.
    EXPECT_EQ(explorer.getDataObjects("PROT1PROT/LLN0"), (Names{"Mod", "NamPlt", "Beh", "Health"}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
}

// Unknown names give empty answers and keep the server's error; a good call clears it again.
TEST_F(ExplorerBrowse, UnknownNamesGiveEmptyAnswersAndKeepTheError) {
    const std::pair<const char*, std::function<bool()>> unknown[] = {
        {"nodes", [&] { return explorer.getLogicalNodes("PROT1NOPE").empty(); }},
        {"data objects", [&] { return explorer.getDataObjects("PROT1PROT/NOPE1").empty(); }},
        {"data sets", [&] { return explorer.getDataSets("PROT1NOPE").empty(); }},
        {"members", [&] { return explorer.getDataSetVariables("PROT1PROT/LLN0.dsNope").empty(); }},
        {"structure", [&] { return explorer.getDataSetStructure("PROT1PROT/LLN0.dsNope") == nullptr; }},
        // A buffered block asked for as unbuffered does not exist.
        {"report block", [&] { return explorer.getRcbDataSet("PROT1PROT/LLN0.RP.brcbEvents01").empty(); }},
        {"GOOSE block", [&] { return explorer.getGooseCBValues("PROT1PROT/LLN0.gcbNope") == nullptr; }},
    };
    for (const auto& [what, answersEmpty] : unknown) {
        EXPECT_TRUE(answersEmpty()) << what;
        EXPECT_NE(explorer.getError(), IED_ERROR_OK) << what;
        EXPECT_FALSE(explorer.getLogicalNodes("PROT1CTRL").empty());
        EXPECT_EQ(explorer.getError(), IED_ERROR_OK) << what;
    }
    EXPECT_EQ(explorer.getGooseDataSet("PROT1PROT/LLN0.gcbNope"), "");
}

TEST_F(ExplorerBrowse, DataAttributesCarryTheirFunctionalConstraints) {
    EXPECT_EQ(asSet(explorer.getDataAttributes("PROT1PROT/MMXU1.TotW")),
              (std::set<std::string>{"mag[MX]", "q[MX]", "t[MX]", "units[CF]", "db[CF]"}));
    EXPECT_EQ(asSet(explorer.getDataAttributes("PROT1PROT/PTOC1.Str")),
              (std::set<std::string>{"general[ST]", "dirGeneral[ST]", "q[ST]", "t[ST]"}));
    EXPECT_EQ(asSet(explorer.getDataAttributes("PROT1PROT/MMXU1.TotW.mag")),
              (std::set<std::string>{"f[MX]"}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    EXPECT_TRUE(explorer.getDataAttributes("PROT1PROT/MMXU1.TotW.mag.f").empty());
}

TEST_F(ExplorerBrowse, DataSetsOfAllNodesAndTheirMembers) {
    EXPECT_EQ(explorer.getDataSets("PROT1PROT"),
              (Names{"LLN0.dsTrip", "LLN0.dsMeas", "LLN0.dsEvents", "MMXU1.dsPower"}));
    EXPECT_EQ(explorer.getDataSets("PROT1CTRL"), (Names{"LLN0.dsPos", "LLN0.dsStatus"}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);

    EXPECT_EQ(
        explorer.getDataSetVariables("PROT1PROT/LLN0.dsTrip"),
        (Names{"PROT1PROT/PTRC1.Tr.general[ST]", "PROT1PROT/PTRC1.Tr.q[ST]", "PROT1PROT/PTOC1.Op.general[ST]",
               "PROT1PROT/PTOC1.Str.general[ST]", "PROT1PROT/PTOC1.Str.dirGeneral[ST]",
               "PROT1PROT/EFPTOC2.Op.general[ST]", "PROT1PROT/LLN0.Beh.stVal[ST]"}));
    EXPECT_EQ(explorer.getDataSetVariables("PROT1PROT/LLN0.dsMeas"),
              (Names{"PROT1PROT/MMXU1.TotW[MX]", "PROT1PROT/MMXU1.TotVAr[MX]", "PROT1PROT/MMXU1.Hz.mag.f[MX]",
                     "PROT1PROT/MMXU1.Hz.q[MX]"}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    // The same data set as a structure: one child per member, data objects with their components.
    auto structure = explorer.getDataSetStructure("PROT1PROT/LLN0.dsMeas");
    ASSERT_NE(structure, nullptr);
    ASSERT_EQ(structure->getChildren().size(), 4u);
    EXPECT_EQ(MmsDatasetHelper::getPathIndexPath(*structure, "PROT1PROT/MMXU1.TotW.mag.f[MX]"),
              (MmsDatasetHelper::IndexPath{0, 0, 0}));
    EXPECT_EQ(MmsDatasetHelper::getAssociatedTimePath(*structure, "PROT1PROT/MMXU1.TotW.mag.f[MX]"),
              "PROT1PROT/MMXU1.TotW.t[MX]");
}

TEST_F(ExplorerBrowse, ReportControlBlocksUnbufferedFirstAndTheirDataSets) {
    const std::vector<ReportControlBlock> blocks = explorer.getReportControlBlocks("PROT1PROT/LLN0");
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    Names names;
    for (const ReportControlBlock& b : blocks) {
        names.push_back(b.name);
        EXPECT_EQ(b.lnReference, "PROT1PROT/LLN0");
        EXPECT_EQ(b.buffered, b.name.rfind("brcb", 0) == 0) << b.name;
    }
    // Four instances of each (RptEnabled max="4"), the unbuffered ones before the buffered ones.
    EXPECT_EQ(names, (Names{"urcbMeas01", "urcbMeas02", "urcbMeas03", "urcbMeas04", "brcbEvents01",
                            "brcbEvents02", "brcbEvents03", "brcbEvents04"}));

    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front().getRcbReference(), "PROT1PROT/LLN0.RP.urcbMeas01");
    EXPECT_EQ(blocks.back().getRcbReference(), "PROT1PROT/LLN0.BR.brcbEvents04");
    const std::string measSet = explorer.getRcbDataSet(blocks.front().getRcbReference());
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    EXPECT_EQ(measSet, "PROT1PROT/LLN0$dsMeas");
    EXPECT_EQ(explorer.getDataSetVariables(measSet).size(), 4u);
    EXPECT_EQ(explorer.getRcbDataSet(blocks.back().getRcbReference()), "PROT1PROT/LLN0$dsEvents");

    EXPECT_TRUE(explorer.getReportControlBlocks("PROT1PROT/PTRC1").empty());
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
}

TEST_F(ExplorerBrowse, GooseControlBlocksTheirValuesAndDataSets) {
    const std::vector<GooseControlBlock> blocks = explorer.getGooseControlBlocks("PROT1PROT/LLN0");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].lnReference, "PROT1PROT/LLN0");
    EXPECT_EQ(blocks[0].name, "gcbTrip");
    EXPECT_TRUE(explorer.getGooseControlBlocks("PROT1PROT/MMXU1").empty());

    // The reference the device source forms: node reference, ".", name.
    const std::string reference = blocks[0].lnReference + "." + blocks[0].name;
    ClientGooseControlBlock gocb = explorer.getGooseCBValues(reference);
    ASSERT_NE(gocb, nullptr);
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    EXPECT_EQ(ClientGooseControlBlock_getDstAddress_appid(gocb), 0x0010);
    EXPECT_EQ(ClientGooseControlBlock_getDstAddress_vid(gocb), 0x00A);
    EXPECT_EQ(ClientGooseControlBlock_getDstAddress_priority(gocb), 4);
    EXPECT_EQ(ClientGooseControlBlock_getMinTime(gocb), 2u);
    EXPECT_EQ(ClientGooseControlBlock_getMaxTime(gocb), 1000u);
    EXPECT_EQ(ClientGooseControlBlock_getConfRev(gocb), 1u);
    EXPECT_STREQ(ClientGooseControlBlock_getGoID(gocb), "PROT1_TRIP");
    EXPECT_EQ(ClientGooseControlBlock_getDstAddress(gocb).dstAddress[5], 0x10);
    ClientGooseControlBlock_destroy(gocb);

    EXPECT_EQ(explorer.getGooseDataSet(reference), "PROT1PROT/LLN0$dsTrip");
    EXPECT_EQ(explorer.getDataSetVariables(explorer.getGooseDataSet(reference)).size(), 7u);
    const std::vector<GooseControlBlock> ctrl = explorer.getGooseControlBlocks("PROT1CTRL/LLN0");
    ASSERT_EQ(ctrl.size(), 1u);
    EXPECT_EQ(explorer.getGooseDataSet(ctrl[0].lnReference + "." + ctrl[0].name), "PROT1CTRL/LLN0$dsPos");
}

TEST_F(ExplorerBrowse, DataObjectMemberExpandsUnderItsOwnConstraintOnly) {
    explorer.setObjectPaths("PROT1PROT/MMXU1.TotW[MX]");
    ASSERT_EQ(explorer.getNodes().size(), 1u);
    FunctionalConDA* tree = explorer.getNodes().getItems().at(0);
    // mag (with f below), q and t; units and db are CF and stay out.
    ASSERT_EQ(tree->size(), 3u);
    EXPECT_EQ(tree->at(0)->size(), 1u);        // mag -> f -> leaf
    EXPECT_EQ(tree->at(0)->at(0)->size(), 1u); // f -> leaf
    EXPECT_TRUE(tree->at(0)->at(0)->at(0)->empty());
    EXPECT_EQ(explorer.getObjectPaths(), (std::vector<Tokens>{{"PROT1PROT", "MMXU1", "TotW", "mag", "f"},
                                                              {"PROT1PROT", "MMXU1", "TotW", "q"},
                                                              {"PROT1PROT", "MMXU1", "TotW", "t"}}));
    std::vector<FunctionalConDA*> leaves;
    collectLeaves(*tree, leaves);
    ASSERT_EQ(leaves.size(), 3u);
    for (FunctionalConDA* leaf : leaves) {
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->fc, tFCEnum::MX);
        EXPECT_EQ(leaf->doName, "TotW");
    }
    // Only the first four tokens name a leaf: mag.f is named by "mag".
    EXPECT_EQ(leaves[0]->daName, "mag");
    EXPECT_EQ(leaves[1]->daName, "q");

    // The configuration part of the same data object under CF.
    explorer.clearObjectPaths();
    explorer.setObjectPaths("PROT1PROT/MMXU1.TotW.units[CF]");
    EXPECT_EQ(explorer.getObjectPaths(),
              (std::vector<Tokens>{{"PROT1PROT", "MMXU1", "TotW", "units", "SIUnit"},
                                   {"PROT1PROT", "MMXU1", "TotW", "units", "multiplier"}}));
    leaves.clear();
    collectLeaves(*explorer.getNodes().getItems().at(1), leaves);
    ASSERT_EQ(leaves.size(), 2u);
    EXPECT_EQ(leaves[0]->fc, tFCEnum::CF); // numbered 7 here, 4 in the client: matched by name
    EXPECT_EQ(explorer.getNodes().size(), 2u);
}

TEST_F(ExplorerBrowse, WholeDataSetsExpandToOnePathPerBasicAttribute) {
    // dsEvents: Tr (general, phsA, phsB, phsC, q, t), Str (general, dirGeneral, q, t), Op (6),
    // EF Op (6) and PhyHealth.stVal: 6 + 4 + 6 + 6 + 1.
    const Names members = explorer.getDataSetVariables("PROT1PROT/LLN0$dsEvents");
    ASSERT_EQ(members.size(), 5u);
    for (const std::string& member : members)
        explorer.setObjectPaths(member);
    EXPECT_EQ(explorer.getNodes().size(), 5u);
    const std::vector<Tokens> paths = explorer.getObjectPaths();
    ASSERT_EQ(paths.size(), 23u);
    EXPECT_EQ(paths.front(), (Tokens{"PROT1PROT", "PTRC1", "Tr", "general"}));
    EXPECT_EQ(paths.back(), (Tokens{"PROT1PROT", "LPHD1", "PhyHealth", "stVal"}));
    EXPECT_NE(std::find(paths.begin(), paths.end(), Tokens{"PROT1PROT", "EFPTOC2", "Op", "t"}), paths.end());
    std::size_t leafCount = 0;
    for (FunctionalConDA* tree : explorer.getNodes().getItems()) {
        std::vector<FunctionalConDA*> leaves;
        collectLeaves(*tree, leaves);
        leafCount += leaves.size();
    }
    EXPECT_EQ(leafCount, paths.size());

    explorer.clearObjectPaths();
    EXPECT_TRUE(explorer.getObjectPaths().empty());
    EXPECT_EQ(explorer.getNodes().size(), 5u);
}

TEST(ExplorerServers, ReconnectToAnotherServerGivesItsAnswers) {
    SimIed prot1(kStation, "PROT1");
    SimIed mu1(kStation, "MU1");
    ASSERT_TRUE(prot1.ok()) << prot1.error();
    ASSERT_TRUE(mu1.ok()) << mu1.error();

    IecModelExplorer explorer;
    ASSERT_EQ(connectQuietly(explorer, prot1), "Connection ok\n");
    EXPECT_EQ(explorer.getLogicalDevices(), (Names{"PROT1PROT", "PROT1CTRL"}));
    EXPECT_EQ(explorer.getGooseDataSet("PROT1PROT/LLN0.gcbTrip"), "PROT1PROT/LLN0$dsTrip");

    // Without a disconnect in between: the new connection replaces the old one, which is closed.
    ASSERT_EQ(connectQuietly(explorer, mu1), "Connection ok\n");
    EXPECT_TRUE(waitForConnections(prot1, 0));
    EXPECT_TRUE(waitForConnections(mu1, 1));
    EXPECT_EQ(explorer.getLogicalDevices(), (Names{"MU1LD0", "MU1MU"}));
    EXPECT_EQ(explorer.getDataSets("MU1LD0"), (Names{"LLN0.dsStatus"}));
    EXPECT_EQ(explorer.getDataSets("MU1MU"), (Names{"LLN0.PhsMeas1"}));
    EXPECT_TRUE(explorer.getLogicalNodes("PROT1PROT").empty());
    EXPECT_NE(explorer.getError(), IED_ERROR_OK);
    const std::vector<ReportControlBlock> rcbs = explorer.getReportControlBlocks("MU1LD0/LLN0");
    ASSERT_EQ(rcbs.size(), 4u);
    EXPECT_EQ(rcbs[0].name, "urcbStatus01");
    EXPECT_EQ(explorer.getRcbDataSet(rcbs[0].getRcbReference()), "MU1LD0/LLN0$dsStatus");
    EXPECT_EQ(explorer.getGooseDataSet("MU1LD0/LLN0.gcbStatus"), "MU1LD0/LLN0$dsStatus");
    explorer.disconnect();
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
    EXPECT_TRUE(explorer.getDataSetVariables("MU1LD0/LLN0.dsStatus").empty());
    EXPECT_EQ(explorer.getError(), IED_ERROR_NOT_CONNECTED);

    // Back to the first server after a disconnect.
    ASSERT_EQ(connectQuietly(explorer, prot1), "Connection ok\n");
    EXPECT_EQ(explorer.getLogicalDevices(), (Names{"PROT1PROT", "PROT1CTRL"}));
    EXPECT_TRUE(waitForConnections(mu1, 0));
    explorer.disconnect();
    EXPECT_TRUE(waitForConnections(prot1, 0));
}

TEST(ExplorerServers, ServerThatGoesAwayLeavesAClosedExplorer) {
    SimIed sim(kStation, "PROT1");
    ASSERT_TRUE(sim.ok()) << sim.error();
    IecModelExplorer explorer;
    ASSERT_EQ(connectQuietly(explorer, sim), "Connection ok\n");
    ASSERT_EQ(explorer.getLogicalDevices().size(), 2u);

    sim.kill();
    // The directory calls that do not check the state fail with the client's error.
    EXPECT_TRUE(explorer.getDataSetVariables("PROT1PROT/LLN0.dsTrip").empty());
    EXPECT_NE(explorer.getError(), IED_ERROR_OK);
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
    EXPECT_TRUE(explorer.getLogicalDevices().empty());
    EXPECT_TRUE(explorer.getLogicalNodes("PROT1PROT").empty());
    explorer.disconnect(); // closed already: nothing to do

    // A member expanded now has no server to ask: one leaf from its path alone.
    explorer.setObjectPaths("PROT1PROT/PTRC1.Tr[ST]");
    EXPECT_EQ(explorer.getObjectPaths(), (std::vector<Tokens>{{"PROT1PROT", "PTRC1", "Tr"}}));
}

TEST(ExplorerServers, ExplorerDestroyedWhileConnectedReleasesItsConnection) {
    SimIed sim(kStation, "MU1");
    ASSERT_TRUE(sim.ok()) << sim.error();
    for (int i = 0; i < 3; ++i) {
        IecModelExplorer explorer;
        ASSERT_EQ(connectQuietly(explorer, sim), "Connection ok\n");
        EXPECT_EQ(explorer.getLogicalDevices().size(), 2u);
        EXPECT_TRUE(waitForConnections(sim, 1));
        // no disconnect: the destructor releases the handle
    }
    EXPECT_TRUE(waitForConnections(sim, 0));
    // The server still serves new clients afterwards.
    IecModelExplorer explorer;
    ASSERT_EQ(connectQuietly(explorer, sim), "Connection ok\n");
    EXPECT_EQ(explorer.getLogicalDevices(), (Names{"MU1LD0", "MU1MU"}));
    explorer.disconnect();
}
