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

TEST(FunctionalConDA, DefaultsAndCopies) {
    FunctionalConDA a;
    EXPECT_EQ(a.getId(), "");
    EXPECT_EQ(a.count, 0);
    EXPECT_FALSE(a.flag);
    EXPECT_EQ(static_cast<int>(a.fc), 0);
    a.ldName = "LD0";
    a.lnName = "MMXU1";
    a.doName = "PhV";
    a.daName = "phsA";
    a.fc = tFCEnum::MX;
    a.add(new FunctionalConDA());
    FunctionalConDA b(a);
    EXPECT_EQ(b.ldName, "LD0");
    EXPECT_EQ(b.lnName, "MMXU1");
    EXPECT_EQ(b.doName, "PhV");
    EXPECT_EQ(b.daName, "phsA");
    EXPECT_EQ(b.fc, tFCEnum::MX);
    EXPECT_TRUE(b.empty()); // children stay with the original
    std::vector<FunctionalConDA> members;
    for (int i = 0; i < 10; ++i) {
        members.push_back(a);
    }
    EXPECT_EQ(members[9].daName, "phsA");
    b = members[3];
    EXPECT_EQ(b.fc, tFCEnum::MX);
}
