#include "mms/FunctionalConDA.h"
#include "models/Choices.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace VorIec61850;

TEST(Choices, DataSourceUnitOverItsTwoItems) {
    auto limiter = std::make_shared<VorTree::EnumLimiter>();
    limiter->addItem("Устройство IED", "Устройство IED", 0);
    limiter->addItem("Файл SCL", "Файл SCL", 1);
    DataSourceUnit unit("DataSource", "DataSource", VorTree::LocalString::Empty(), limiter);
    std::vector<int> seen;
    unit.signalValueChanged.connect([&] { seen.push_back(static_cast<int>(unit.getEnumValue())); });
    unit.setEnumData(DataSource::SclFile);
    EXPECT_EQ(unit.getValue(), "Файл SCL");
    unit.setData("Устройство IED");
    EXPECT_EQ(unit.getEnumValue(), DataSource::IedDevice);
    EXPECT_EQ(seen, (std::vector<int>{1, 0}));
}

TEST(Choices, PositionsAsDeviceAndElementValues) {
    auto limiter = std::make_shared<VorTree::EnumLimiter>();
    for (int i = 0; i < 4; ++i) {
        limiter->addItem("cb" + std::to_string(i), "cb" + std::to_string(i), i);
    }
    ElementUnit element("Element", "Element", VorTree::LocalString::Empty(), limiter);
    element.setEnumData(static_cast<Element>(2));
    EXPECT_EQ(element.getValue(), "cb2");
    EXPECT_EQ(static_cast<int>(element.getEnumValue()), 2);
    limiter->clear(); // the list is rebuilt at run time
    EXPECT_EQ(static_cast<int>(element.getEnumValue()), 0);
    TransferProtocolUnit protocol("TransferProtocol", "TransferProtocol", VorTree::LocalString::Empty(),
                                  std::make_shared<VorTree::EnumLimiter>());
    EXPECT_EQ(protocol.getEnumValue(), TransferProtocol::MmsReports); // nothing selected reads as 0
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

TEST(FunctionalConDA, TypedNodeCollectionAsTheExplorerFillsIt) {
    VorTree::NodeTypedCollection<FunctionalConDA> nodes("Node", VorTree::LocalString::Empty(),
                                                        VorTree::LocalString::Empty());
    auto items = nodes.getItems();
    std::vector<std::size_t> added;
    nodes.signalCollectionChanged.connect([&](VorTree::Node::ChangedArgs& a) {
        if (a.action == Vor::Add) {
            added.push_back(a.index);
        }
    });
    for (int member = 0; member < 2; ++member) {
        auto* top = new FunctionalConDA();
        items.add(top);
        auto* leaf = new FunctionalConDA();
        top->add(leaf); // the attributes below a member are plain children
        leaf->ldName = "LD0";
        leaf->daName = "stVal" + std::to_string(member);
    }
    EXPECT_EQ(added, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(static_cast<FunctionalConDA*>(items.back()->at(0))->daName, "stVal1");
    EXPECT_TRUE(items.move(1, 0));
    EXPECT_EQ(static_cast<FunctionalConDA*>(items.front()->at(0))->daName, "stVal1");
    VorTree::Node stranger("x");
    EXPECT_THROW(nodes.add(&stranger), std::logic_error);
    items.clear();
    EXPECT_TRUE(items.empty());
}
