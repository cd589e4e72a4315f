#include "models/ParamsModel.h"
#include "models/SourceFileModel.h"
#include "models/ModelRecorder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace VorIec61850;
using namespace iecx::test;

namespace {

// A file source whose parameters feed a parameter model, as the root model connects them.
struct SourceFileModelTest : ::testing::Test {
    SourceFileModelTest() {
        model.signalSetParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalSetParams));
        model.signalClearParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalClearParams));
    }
    SourceFileModel model;
    ParamsModel params;
    Recorder rec{model};
};

} // namespace

TEST_F(SourceFileModelTest, ChoicesAfterConstruction) {
    EXPECT_EQ(items(model.getTransferProtocolUnit()),
              (Items{{"Отчеты (MMS)", 0}, {"События (GOOSE)", 1}, {"Поток (SMV)", 2}}));
    EXPECT_EQ(model.getFilterTypes(),
              (std::vector<tMmsTypeEnum>{tMmsTypeEnum::BOOLEAN, tMmsTypeEnum::INTEGER}));

    // Without a file a protocol choice only clears the element list.
    model.setTransferProtocol(TransferProtocol::Goose);
    EXPECT_EQ(model.getTransferProtocolUnit()->getValue(), "События (GOOSE)");
    EXPECT_TRUE(model.getDeviceUnit()->getLimiter()->empty());
    model.setTransferProtocol(static_cast<TransferProtocol>(9));
    EXPECT_EQ(model.getTransferProtocolUnit()->getValue(), "");
}

TEST_F(SourceFileModelTest, GooseDevicesElementsTreeAndParameters) {
    model.setTransferProtocol(TransferProtocol::Goose);
    rec.clear();
    model.onAddFile(kStation);
    EXPECT_EQ(model.getFileNameUnit()->getValue(), kStation); // no '\' in the path: taken whole

    // Both IEDs publish GOOSE; MU1's second access point (SV only) is not listed.
    EXPECT_EQ(items(model.getDeviceUnit()), (Items{{"PROT1", 0}, {"MU1", 1}}));
    // The first listed device is chosen, and the choice is shown once.
    EXPECT_EQ(model.getDeviceUnit()->getValue(), "PROT1");
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "clearTree"), 1);
    EXPECT_EQ(items(model.getElementUnit()), (Items{{"gcbTrip", 0}, {"gcbPos", 1}}));
    EXPECT_EQ(model.getElementUnit()->getValue(), "gcbTrip");
    // Leaves of the BOOLEAN and INTEGER members only; the quality and the enumerated
    // behaviour are filtered out.
    auto round = rec.lastRound();
    ASSERT_FALSE(round.empty());
    EXPECT_EQ(round.back(), "set:PROT1,1,0");
    EXPECT_EQ(params.getGooseIdUnit()->getValue(), "PROT1_TRIP");
    EXPECT_EQ(params.getControlBlockReferenceUnit()->getValue(), "PROT1PROT/LLN0$GO$gcbTrip");
    // The parameters' copy carries the control block reference.
    EXPECT_EQ(rec.params.back().gse[0].gseControl->reference, "PROT1PROT/LLN0$GO$gcbTrip");

    rec.clear();
    model.getElementUnit()->setData("gcbPos");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"clearTree", "add:PROT1CTRL|GGIO1.Ind1.stVal[ST];",
                                                    "add:PROT1CTRL|GGIO1.Ind2.stVal[ST];", "set:PROT1,1,1"}));
    EXPECT_EQ(params.getDataSetReferenceUnit()->getValue(), "PROT1CTRL/LLN0$dsPos");
    EXPECT_EQ(params.getConfRevUnit()->getValue(), "2");

    // A wider filter shows the double-point positions too; a data-object member gives
    // three-level paths, one per attribute of the type.
    model.setFilterTypes({tMmsTypeEnum::BIT_STRING});
    rec.clear();
    model.getElementUnit()->setData("gcbTrip");
    model.getElementUnit()->setData("gcbPos");
    auto pos = rec.lastRound();
    EXPECT_NE(std::find(pos.begin(), pos.end(), "add:PROT1CTRL|Q0XCBR1.Pos.stVal[ST];"), pos.end());
    EXPECT_NE(std::find(pos.begin(), pos.end(), "add:PROT1CTRL|Q0CSWI1.Pos|stVal[ST];"), pos.end());
    EXPECT_EQ(std::count(pos.begin(), pos.end(), "add:PROT1CTRL|GGIO1.Ind1.stVal[ST];"), 0);

    // An empty filter leaves the tree empty while the parameters are still set.
    model.setFilterTypes({});
    rec.clear();
    model.getElementUnit()->setData("gcbTrip");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"clearTree", "set:PROT1,1,0"}));

    // The second device lists the control blocks of MU1.
    model.getDeviceUnit()->setData("MU1");
    EXPECT_EQ(items(model.getElementUnit()), (Items{{"gcbStatus", 0}}));
    EXPECT_EQ(rec.lastRound().back(), "set:MU1,1,0");
    EXPECT_EQ(params.getMacAddressUnit()->getValue(), "01-0C-CD-01-00-21");
}

TEST_F(SourceFileModelTest, SampledValuesAndReports) {
    model.onAddFile(kStation);
    // Reloading in SV mode shows the stream's tree at once.
    model.setTransferProtocol(TransferProtocol::SampledValues);
    rec.clear();
    model.onAddFile(kStation);
    EXPECT_GT(rec.lastRound().size(), 2u);
    model.setTransferProtocol(TransferProtocol::MmsReports);
    rec.clear();
    model.onAddFile(kStation);
    // No protocol chosen reads as reports; the file has no report entries.
    EXPECT_TRUE(model.getDeviceUnit()->getLimiter()->empty());
    EXPECT_EQ(rec.events.back(), "clearTree");

    rec.clear();
    model.setTransferProtocol(TransferProtocol::SampledValues);
    const auto& aps = model.getConnectedAps();
    int svIndex = -1;
    for (std::size_t i = 0; i < aps.size(); ++i) {
        if (!aps[i].smv.empty()) {
            svIndex = static_cast<int>(i);
        }
    }
    EXPECT_EQ(items(model.getDeviceUnit()), (Items{{"MU1", svIndex}}));
    // The only SV publisher is chosen at once, although it is not the file's first device.
    EXPECT_EQ(model.getDeviceUnit()->getValue(), "MU1");
    EXPECT_EQ(items(model.getElementUnit()), (Items{{"MSVCB01", 0}}));
    auto round = rec.lastRound();
    ASSERT_GE(round.size(), 2u);
    EXPECT_EQ(round.back(), "set:MU1,2,0");
    EXPECT_EQ(params.getGooseIdUnit()->getValue(), " - ");
    EXPECT_EQ(params.getControlBlockReferenceUnit()->getValue(), "MU1MU/LLN0$MS$MSVCB01");
    for (std::size_t i = 1; i + 1 < round.size(); ++i) {
        EXPECT_EQ(round[i].rfind("add:MU1MU|", 0), 0u) << round[i];
    }

    // Back to reports: parameters and tree are cleared, in this order.
    rec.clear();
    model.setTransferProtocol(TransferProtocol::MmsReports);
    ASSERT_GE(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[rec.events.size() - 2], "clearParams");
    EXPECT_EQ(rec.events.back(), "clearTree");
    EXPECT_EQ(params.getMacAddressUnit()->getValue(), "");
}

TEST_F(SourceFileModelTest, SendDataHandsOnTheStoredControlBlock) {
    const SourceModel::DataList data{{"PROT1PROT/PTRC1.Tr.general", ""}};
    model.onAddFile(kStation);
    model.sendData(data); // no protocol selected
    EXPECT_TRUE(rec.sentGoose.empty());

    model.setTransferProtocol(TransferProtocol::Goose);
    model.getElementUnit()->setData("gcbPos");
    model.sendData(data);
    ASSERT_EQ(rec.sentGoose.size(), 1u);
    EXPECT_EQ(rec.sentGoose[0].cbName, "gcbPos");
    EXPECT_EQ(rec.sentGoose[0].gseControl->reference, ""); // as read from the file
    EXPECT_EQ(rec.sentData[0], data);

    model.setTransferProtocol(TransferProtocol::SampledValues);
    model.getDeviceUnit()->setData("MU1");
    model.sendData(data);
    ASSERT_EQ(rec.sentSv.size(), 1u);
    EXPECT_EQ(rec.sentSv[0].cbName, "MSVCB01");

    model.setTransferProtocol(TransferProtocol::MmsReports);
    model.sendData(data);
    EXPECT_EQ(rec.sentGoose.size() + rec.sentSv.size(), 2u);
}

TEST_F(SourceFileModelTest, BadFilesAreReportedOnStandardError) {
    model.setTransferProtocol(TransferProtocol::Goose);
    model.onAddFile(kStation);
    ASSERT_EQ(model.getDeviceUnit()->getLimiter()->size(), 2u);

    // A file that is no XML: the previous file stays in place.
    testing::internal::CaptureStderr();
    model.onAddFile(IECX_TEST_DATA_DIR "/scl/no_such_file.scd");
    std::string err = testing::internal::GetCapturedStderr();
    // libxml2 writes its own warning lines too.
    EXPECT_NE(err.find("Error parsing SCL file: "), std::string::npos) << err;
    EXPECT_EQ(model.getDeviceUnit()->getLimiter()->size(), 2u);
    EXPECT_EQ(model.getConnectedAps().size(), 3u);

    // A conversion error of the extractor: the lists stay cleared.
    testing::internal::CaptureStderr();
    model.onAddFile(IECX_TEST_DATA_DIR "/scl/bad_stoi_confrev.scd");
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error parsing SCL file: stoi\n");
    EXPECT_EQ(model.getFileNameUnit()->getValue(), IECX_TEST_DATA_DIR "/scl/bad_stoi_confrev.scd");
    EXPECT_TRUE(model.getDeviceUnit()->getLimiter()->empty());
    EXPECT_TRUE(model.getElementUnit()->getLimiter()->empty());
    EXPECT_TRUE(model.getConnectedAps().empty());
    // Choosing an element then shows nothing.
    rec.clear();
    model.getElementUnit()->setData("gcbPos");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"clearParams", "clearTree"}));

    // A good file afterwards is read normally.
    testing::internal::CaptureStderr();
    model.onAddFile(IECX_TEST_DATA_DIR "/scl/station_2007.scd");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(model.getDeviceUnit()->getLimiter()->empty());
}

TEST_F(SourceFileModelTest, DataSetMembersOfTheSecondStationFile) {
    model.setTransferProtocol(TransferProtocol::Goose);
    model.onAddFile(IECX_TEST_DATA_DIR "/scl/station_2007.scd");
    // The enumerated mode reads as INTEGER, the counter too; float and quality are filtered out.
    EXPECT_EQ(rec.lastRound(),
              (std::vector<std::string>{"clearTree", "add:RELAY1LD0|LLN0.Mod.stVal[ST];",
                                        "add:RELAY1LD0|GGIO1.Ind1.stVal[ST];",
                                        "add:RELAY1LD0|GGIO1.Cnt1.stVal[ST];", "set:RELAY1,1,0"}));
    EXPECT_EQ(items(model.getElementUnit()), (Items{{"GCB01", 0}, {"GCB02", 1}, {"GCB03", 2}, {"GCB99", 3}}));

    // Types are taken in filter order per member; the SI unit goes with the leaf, and a
    // data-object member gives one three-level leaf per attribute of the type.
    model.setFilterTypes({tMmsTypeEnum::FLOAT, tMmsTypeEnum::BOOLEAN});
    model.getElementUnit()->setData("GCB02");
    rec.clear();
    model.getElementUnit()->setData("GCB01");
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"clearTree", "add:RELAY1LD0|MMXU1.TotW.mag.f[MX];W",
                                        "add:RELAY1LD0|MMXU1.TotW|mag.f[MX];W",
                                        "add:RELAY1LD0|GGIO1.Ind1.stVal[ST];", "set:RELAY1,1,0"}));

    // A control block whose data set is missing clears the parameters, then the tree.
    rec.clear();
    model.getElementUnit()->setData("GCB03");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"clearParams", "clearTree"}));
}

// The file source writes the FC of each leaf between brackets, none when the FC is absent; the
// file name shown is the last piece of a path with backslashes.
TEST_F(SourceFileModelTest, MemberWithoutFunctionalConstraintHasNoBrackets) {
    TempDir dir;
    std::stringstream text;
    text << std::ifstream(IECX_TEST_DATA_DIR "/scl/station_2007.scd").rdbuf();
    std::string content = text.str();
    const std::string from = R"(doName="Ind1" daName="stVal" fc="ST"/>)";
    ASSERT_NE(content.find(from), std::string::npos);
    content.replace(content.find(from), from.size(), R"(doName="Ind1" daName="stVal"/>)");
    const std::string path = dir.file("C:\\scl\\nofc.scd");
    std::ofstream(path) << content;
    model.setTransferProtocol(TransferProtocol::Goose);
    model.onAddFile(path);
    EXPECT_EQ(model.getFileNameUnit()->getValue(), "nofc.scd");
    auto round = rec.lastRound();
    const bool withoutBrackets = std::any_of(round.begin(), round.end(), [](const std::string& e) {
        return e.rfind("add:RELAY1LD0|GGIO1.Ind1.stVal", 0) == 0 && e.find('[') == std::string::npos;
    });
    EXPECT_TRUE(withoutBrackets) << testing::PrintToString(round);
}
