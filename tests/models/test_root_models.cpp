// The root, the general settings and the device source, against the simulated IED.
#include "models/GeneralSettingsModel.h"
#include "models/ModelRecorder.h"
#include "models/ParamsModel.h"
#include "models/SourceDeviceModel.h"
#include "models/SourceFileModel.h"
#include "models/TreeModel.h"
#include "models/VorIec61850Model.h"

#include "support/SimIed.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace VorIec61850;
using namespace iecx::test;

TEST(RootModel, BuildsSettingsWithBothSourcesAndNotifiesTheDataSource) {
    VorIec61850Model root;
    GeneralSettingsModel* settings = root.getSettingsModel();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->getId(), "IEC61850");

    std::vector<VorTree::Node*> children(settings->begin(), settings->end());
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0]->getId(), "DataSource");
    EXPECT_EQ(children[1], settings->getFileModel());
    EXPECT_EQ(children[2], settings->getDeviceModel());
    EXPECT_EQ(items(settings->getDataSourceUnit()), (Items{{"Устройство IED", 0}, {"Файл SCL", 1}}));
    EXPECT_EQ(settings->getDataSourceUnit()->getValue(), "Файл SCL");
    EXPECT_EQ(settings->getDeviceModel()->getPort(), 102);

    std::vector<int> emitted;
    settings->signalDataSourceChanged.connect([&](int source) { emitted.push_back(source); });
    for (const char* value : {"Устройство IED", "Файл SCL", "no such item"})
        settings->getDataSourceUnit()->setData(value);
    EXPECT_EQ(emitted, (std::vector<int>{0, 1, 0}));
}

class DeviceSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok()) << sim.error();
        device.onIpAddressChanged(sim.host());
        device.setPort(sim.port());
    }
    SimIed sim{kStation, "PROT1"};
    SourceDeviceModel device;
    Recorder rec{device};
};

TEST_F(DeviceSourceTest, ReadsDevicesAndControlBlocksAndShowsTheChosenElement) {
    device.onButtonClicked();
    EXPECT_EQ(items(device.getDeviceUnit()), (Items{{"PROT1PROT", 0}, {"PROT1CTRL", 0}}));
    EXPECT_EQ(device.getDeviceUnit()->getValue(), "PROT1PROT");
    // No protocol chosen reads as reports: one item per report block instance, numbered in the
    // order found (across logical nodes), and the first one is shown.
    const Items reports = items(device.getElementUnit());
    ASSERT_EQ(reports.size(), 14u);
    EXPECT_EQ(reports[0], (std::pair<std::string, int>("urcbMeas01", 0)));
    EXPECT_EQ(reports[8], (std::pair<std::string, int>("urcbPower01", 8)));
    EXPECT_EQ(reports[13], (std::pair<std::string, int>("urcbPos04", 13)));
    EXPECT_EQ(device.getElementRcbReference(), "PROT1PROT/LLN0.RP.urcbMeas01");
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "clearTree"), 1);
    EXPECT_EQ(rec.events.back(), "set:,0,0");
    EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "add:PROT1PROT|MMXU1|Hz|mag|f[MX];none"),
              rec.events.end());
    ASSERT_EQ(device.getConnectedAp().gse.size(), 2u);

    // Clicking again keeps one record per GOOSE control block.
    device.onButtonClicked();
    const tConnectedAP& ap = device.getConnectedAp();
    ASSERT_EQ(ap.gse.size(), 2u);
    EXPECT_EQ(ap.gse[1].cbName, "gcbPos");
    EXPECT_EQ(ap.gse[1].gseControl->datSet, "dsPos");
    EXPECT_EQ(ap.gse[1].gseControl->confRev, 2);
    EXPECT_EQ(ap.gse[1].gseControl->appID, "PROT1_POS");
    ASSERT_EQ(ap.gse[1].gseControl->dataSet->fcdas.size(), 5u);
    const tFCDA& member = ap.gse[1].gseControl->dataSet->fcdas[2];
    EXPECT_EQ(member.ldInst, "PROT1CTRL");
    EXPECT_EQ(member.lnClass, "Q0CSWI1");
    EXPECT_EQ(member.doName, "Pos");
    EXPECT_EQ(member.daName, "");
    EXPECT_EQ(member.fc, tFCEnum::ST);

    // GOOSE: the GOOSE blocks are the elements, and the parameters carry the block's reference.
    ParamsModel params;
    device.signalSetParams.connect(sigc::mem_fun(params, &ParamsModel::onSignalSetParams));
    rec.clear();
    device.setTransferProtocol(TransferProtocol::Goose);
    EXPECT_EQ(items(device.getElementUnit()), (Items{{"gcbTrip", 0}, {"gcbPos", 1}}));
    device.getElementUnit()->setData("gcbPos");
    EXPECT_EQ(params.getGooseIdUnit()->getValue(), "PROT1_POS");
    EXPECT_EQ(params.getControlBlockReferenceUnit()->getValue(), "PROT1CTRL/LLN0$GO$gcbPos");
    EXPECT_EQ(device.getElementMembers().size(), 5u);
    device.sendData({{"x", "y"}});
    ASSERT_EQ(rec.sentGoose.size(), 1u);
    EXPECT_EQ(rec.sentGoose[0].cbName, "gcbPos");

    // Sampled Values: no elements; the tree and the parameters are cleared and nothing added.
    rec.clear();
    device.setTransferProtocol(TransferProtocol::SampledValues);
    EXPECT_TRUE(device.getElementUnit()->getLimiter()->empty());
    EXPECT_EQ(rec.events, (std::vector<std::string>{"clearParams", "clearTree"}));
    device.setTransferProtocol(TransferProtocol::MmsReports);
    device.sendData({{"x", "y"}});
    EXPECT_EQ(rec.sentGoose.size(), 1u);
    // The explorer's expansions do not pile up over the choices.
    EXPECT_EQ(device.getExplorer().getNodes().getItems().size(), 0u);
}

TEST_F(DeviceSourceTest, WholeIedTreesAndADeviceThatGoesAway) {
    device.getGooseAddress();
    EXPECT_EQ(device.getGooses().size(), 2u);
    EXPECT_EQ(device.getGooses()[1]->getGooseControl()->getConfRev(), 2u);
    EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "add:PROT1CTRL|GGIO1|Ind1|stVal[ST];none"),
              rec.events.end());

    rec.clear();
    device.getReportTree();
    // Report leaves hang below the report's reference instead of the logical device.
    EXPECT_NE(std::find(rec.events.begin(), rec.events.end(),
                        "add:PROT1CTRL|LLN0|RP|urcbPos01|Q0XCBR1|OpCnt|stVal[ST];none"),
              rec.events.end());

    rec.clear();
    device.setDataObjectTree();
    EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "add:PROT1CTRL|Q0XCBR1|Pos;none"),
              rec.events.end());

    device.onButtonClicked();
    const std::size_t elements = device.getElementUnit()->getLimiter()->size();
    sim.kill();
    rec.clear();
    device.onButtonClicked();
    device.getElementUnit()->setData("brcbEvents01");
    // A failed connection changes nothing.
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(device.getElementUnit()->getLimiter()->size(), elements);
}
