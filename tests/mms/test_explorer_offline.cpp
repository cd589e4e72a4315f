// IecModelExplorer without a server: path tokens, control block references, the functional
// constraint conversion, member expansion without a connection, refused insertions, failed
// connections and their diagnostic lines, and the GOOSE observer.
#include "mms/IecModelExplorer.h"
#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace VorIec61850;

namespace {

using Tokens = std::vector<std::string>;

// Exposes the protected conversion.
struct ExplorerProbe : IecModelExplorer {
    using IecModelExplorer::_functionalConToEnum;
};

// A loopback TCP port on which nothing listens any more.
int unusedLoopbackPort() {
    iecx::test::SilentDevice device;
    return device.port();
}

} // namespace

TEST(ExplorerPaths, TokenSplitFollowsTheFirstAndLaterDelimiters) {
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LD0/LLN0.Mod.stVal"),
              (Tokens{"LD0", "LLN0", "Mod", "stVal"}));
    // The bracketed FC stays as the last token with its closing bracket.
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LD0/LLN0.Mod.stVal[ST]"),
              (Tokens{"LD0", "LLN0", "Mod", "stVal", "ST]"}));
    EXPECT_EQ(IecModelExplorer::parseObjectPath("PROT1PROT/MMXU1.TotW.mag.f"),
              (Tokens{"PROT1PROT", "MMXU1", "TotW", "mag", "f"}));
    EXPECT_TRUE(IecModelExplorer::parseObjectPath("").empty());
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LD0"), (Tokens{"LD0"}));
    // The first token may also end at '.'; only the first token ends at '/'.
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LLN0.Mod"), (Tokens{"LLN0", "Mod"}));
    EXPECT_EQ(IecModelExplorer::parseObjectPath("A/B/C.D"), (Tokens{"A", "B/C", "D"}));
    // '[' only delimits after the first token.
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LD[ST]"), (Tokens{"LD[ST]"}));
    // Empty tokens between adjacent delimiters and after a trailing one are kept.
    EXPECT_EQ(IecModelExplorer::parseObjectPath("LD0/LLN0..x."), (Tokens{"LD0", "LLN0", "", "x", ""}));
    // A report control block reference, as the device source uses it for its tree prefix.
    EXPECT_EQ(IecModelExplorer::parseObjectPath("PROT1PROT/LLN0.BR.brcbEvents01"),
              (Tokens{"PROT1PROT", "LLN0", "BR", "brcbEvents01"}));
}

TEST(ExplorerPaths, FunctionalConstraintsMatchByNameNotByNumber) {
    using P = ExplorerProbe;
    const std::pair<FunctionalConstraint, tFCEnum> same[] = {
        {IEC61850_FC_MX, tFCEnum::MX}, {IEC61850_FC_SP, tFCEnum::SP}, {IEC61850_FC_SV, tFCEnum::SV},
        {IEC61850_FC_CF, tFCEnum::CF}, {IEC61850_FC_DC, tFCEnum::DC}, {IEC61850_FC_SG, tFCEnum::SG},
        {IEC61850_FC_SE, tFCEnum::SE}, {IEC61850_FC_SR, tFCEnum::SR}, {IEC61850_FC_OR, tFCEnum::OR},
        {IEC61850_FC_BL, tFCEnum::BL}, {IEC61850_FC_EX, tFCEnum::EX}, {IEC61850_FC_CO, tFCEnum::CO},
    };
    for (const auto& [library, own] : same) {
        EXPECT_EQ(P::_functionalConToEnum(library), own) << FunctionalConstraint_toString(library);
        // The texts agree as well: the two tables name the same constraint.
        EXPECT_STREQ(tFCEnum_STRING[static_cast<int>(own)], FunctionalConstraint_toString(library));
    }
    for (FunctionalConstraint other :
         {IEC61850_FC_ST, IEC61850_FC_US, IEC61850_FC_MS, IEC61850_FC_RP, IEC61850_FC_BR, IEC61850_FC_LG,
          IEC61850_FC_GO, IEC61850_FC_ALL, IEC61850_FC_NONE, static_cast<FunctionalConstraint>(42)})
        EXPECT_EQ(P::_functionalConToEnum(other), tFCEnum::ST) << static_cast<int>(other);
}

TEST(ExplorerOffline, ClosedExplorerAnswersEmptyAndKeepsOrSetsTheError) {
    IecModelExplorer explorer;
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    EXPECT_TRUE(explorer.getNodes().empty());
    // The state-checked listings do not ask anybody: the error stays.
    EXPECT_TRUE(explorer.getLogicalDevices().empty());
    EXPECT_TRUE(explorer.getLogicalNodes("LD0").empty());
    EXPECT_TRUE(explorer.getDataObjects("LD0/LLN0").empty());
    EXPECT_EQ(explorer.getError(), IED_ERROR_OK);
    // The others fail as the client would without a connection.
    EXPECT_TRUE(explorer.getDataAttributes("LD0/LLN0.Mod").empty());
    EXPECT_EQ(explorer.getError(), IED_ERROR_NOT_CONNECTED);
    EXPECT_TRUE(explorer.getDataSets("LD0").empty());
    EXPECT_TRUE(explorer.getDataSetVariables("LD0/LLN0.ds").empty());
    EXPECT_TRUE(explorer.getReportControlBlocks("LD0/LLN0").empty());
    EXPECT_TRUE(explorer.getGooseControlBlocks("LD0/LLN0").empty());
    EXPECT_EQ(explorer.getRcbDataSet("LD0/LLN0.RP.rcb"), "");
    EXPECT_EQ(explorer.getGooseCBValues("LD0/LLN0.gcb"), nullptr);
    EXPECT_EQ(explorer.getGooseDataSet("LD0/LLN0.gcb"), "");
    EXPECT_EQ(explorer.getError(), IED_ERROR_NOT_CONNECTED);
    explorer.disconnect(); // nothing to close
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
}

TEST(ExplorerOffline, MemberWithoutConnectionBecomesOneLeafWithItsFirstFourTokens) {
    IecModelExplorer explorer;
    std::vector<std::pair<int, std::size_t>> events;
    explorer.getNodes().signalCollectionChanged.connect(
        [&](Vor::NotifyCollectionChangedSignalArgs<VorTree::Node*>& args) {
            events.emplace_back(static_cast<int>(args.action), args.index);
        });

    explorer.setObjectPaths("LD0/LLN0.Mod.stVal[ST]");
    ASSERT_EQ(explorer.getNodes().size(), 1u);
    FunctionalConDA* tree = explorer.getNodes().getItems().at(0);
    ASSERT_EQ(tree->size(), 1u);
    auto* leaf = dynamic_cast<FunctionalConDA*>(tree->at(0));
    ASSERT_NE(leaf, nullptr);
    EXPECT_TRUE(leaf->empty());
    EXPECT_EQ(leaf->ldName, "LD0");
    EXPECT_EQ(leaf->lnName, "LLN0");
    EXPECT_EQ(leaf->doName, "Mod");
    EXPECT_EQ(leaf->daName, "stVal");
    EXPECT_EQ(leaf->fc, tFCEnum::ST);
    EXPECT_EQ(explorer.getObjectPaths(), (std::vector<Tokens>{{"LD0", "LLN0", "Mod", "stVal"}}));
    EXPECT_EQ(explorer.getError(), IED_ERROR_NOT_CONNECTED);

    // A short path leaves the missing names empty; the member's FC comes from its brackets.
    explorer.setObjectPaths("LD0/LLN0[MX]");
    ASSERT_EQ(explorer.getNodes().size(), 2u);
    auto* shortLeaf = dynamic_cast<FunctionalConDA*>(explorer.getNodes().getItems().at(1)->at(0));
    ASSERT_NE(shortLeaf, nullptr);
    EXPECT_EQ(shortLeaf->ldName, "LD0");
    EXPECT_EQ(shortLeaf->lnName, "LLN0");
    EXPECT_EQ(shortLeaf->doName, "");
    EXPECT_EQ(shortLeaf->daName, "");
    EXPECT_EQ(shortLeaf->fc, tFCEnum::MX);
    // No brackets: no FC, read as ST.
    explorer.setObjectPaths("LD0/GGIO1.Ind1.stVal");
    EXPECT_EQ(dynamic_cast<FunctionalConDA*>(explorer.getNodes().getItems().at(2)->at(0))->fc, tFCEnum::ST);

    // One Add notification per member, at the new index.
    EXPECT_EQ(events, (std::vector<std::pair<int, std::size_t>>{{0, 0}, {0, 1}, {0, 2}}));

    explorer.clearObjectPaths();
    EXPECT_TRUE(explorer.getObjectPaths().empty());
    EXPECT_EQ(explorer.getNodes().size(), 3u);
}

// A copy takes the names and the constraint, never the children (they stay with the original).
TEST(FunctionalConDA, CopiesTakeNamesNotChildren) {
    FunctionalConDA a;
    a.ldName = "LD0";
    a.daName = "phsA";
    a.fc = tFCEnum::MX;
    a.add(new FunctionalConDA());
    FunctionalConDA b(a);
    EXPECT_EQ(b.ldName + b.daName, "LD0phsA");
    EXPECT_EQ(b.fc, tFCEnum::MX);
    EXPECT_TRUE(b.empty());
    std::vector<FunctionalConDA> members(10, a);
    b = members[3];
    EXPECT_EQ(b.fc, tFCEnum::MX);
    EXPECT_TRUE(b.empty());
}

TEST(ExplorerOffline, RefusedMemberIsNotAddedAndLeavesThePathsAsTheyWere) {
    IecModelExplorer explorer;
    explorer.setObjectPaths("LD0/LLN0.Mod.stVal[ST]");
    explorer.getNodes()._lockContainer();
    EXPECT_THROW(explorer.setObjectPaths("LD0/LLN0.Beh.stVal[ST]"), std::logic_error);
    EXPECT_EQ(explorer.getNodes().size(), 1u);
    EXPECT_EQ(explorer.getObjectPaths(), (std::vector<Tokens>{{"LD0", "LLN0", "Mod", "stVal"}}));
}

TEST(ExplorerOffline, FailedConnectionsReturnTheCodeAndPrintIt) {
    IecModelExplorer explorer;
    const int port = unusedLoopbackPort();
    ASSERT_NE(port, 0);

    ::testing::internal::CaptureStdout();
    const int refused = explorer.connect("127.0.0.1", port);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(refused, IED_ERROR_OK);
    EXPECT_EQ(refused, explorer.getError());
    EXPECT_EQ(out, "Connection error: " + std::to_string(refused) + "\n");
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
    EXPECT_TRUE(explorer.getLogicalDevices().empty());

    // Invalid input is the client's invalid-argument error.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(explorer.connect("", port), IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Connection error: 10\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(explorer.connect("127.0.0.1", 70000), IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
    explorer.disconnect(); // not connected: nothing happens
    EXPECT_EQ(explorer.connectionState(), IED_STATE_CLOSED);
}

TEST(ExplorerOffline, GooseObserverStartsAndStopsOnAnInterface) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "listening for GOOSE on an interface needs root";
    IecModelExplorer explorer;
    ::testing::internal::CaptureStdout();
    explorer.startGoose("lo");
    explorer.stopGoose();
    explorer.stopGoose(); // already stopped: nothing more
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("START OBSERVER on interface: lo"), std::string::npos) << out;
    EXPECT_NE(out.find("STOP OBSERVER"), std::string::npos) << out;
    EXPECT_EQ(out.find("STOP OBSERVER"), out.rfind("STOP OBSERVER")) << out;
}
