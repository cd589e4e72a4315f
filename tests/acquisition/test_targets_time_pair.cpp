#include "acquisition/TargetsTimePair.h"
#include "mms/MmsDatasetHelper.h"
#include "support/IedClient.h"

#include <gtest/gtest.h>

#include <memory>

using namespace VorIec61850;

namespace {

using iecx::test::Value;

// A GOOSE data set as the host sends it: members holding their attributes.
std::unique_ptr<FCDAElement> gooseDataSet() {
    return FCDAElement::deserialize(
        std::string("<FCDA path=\"\" dataType=\"BOOLEAN\">"
                    "<FCDA path=\"LD0/Q0XCBR1.Pos\" fc=\"ST\" dataType=\"STRUCTURE\">"
                    "<FCDA path=\"stVal\" fc=\"ST\" dataType=\"BIT_STRING\"/>"
                    "<FCDA path=\"q\" fc=\"ST\" dataType=\"BIT_STRING\"/>"
                    "<FCDA path=\"t\" fc=\"ST\" dataType=\"UTC_TIME\"/>"
                    "</FCDA>"
                    "<FCDA path=\"LD0/MMXU1.TotW.mag.f\" fc=\"MX\" dataType=\"FLOAT\"/>"
                    "</FCDA>"));
}

} // namespace

TEST(TimePair, ExpandAlternatesValueAndTimePaths) {
    auto* channel = reinterpret_cast<VorRelay::IChannel*>(0x20);
    auto dataSet = gooseDataSet();
    std::vector<MmsPath> paths = {MmsPath("LD0/Q0XCBR1.Pos.stVal[ST]", channel),
                                  MmsPath("LD0/MMXU1.TotW.mag.f[MX]", channel),
                                  MmsPath("LD0/X.Y[ST]", channel)};
    auto expanded = TimePair::expand(paths, [&dataSet](const std::string& path) {
        return MmsDatasetHelper::getAssociatedTimePath(*dataSet, path);
    });
    ASSERT_EQ(expanded.size(), 6u);
    EXPECT_EQ(expanded[0], paths[0]);
    EXPECT_EQ(expanded[1].path, "LD0/Q0XCBR1.Pos.t[ST]");
    EXPECT_EQ(expanded[1].channel, nullptr);
    EXPECT_EQ(expanded[2], paths[1]);
    EXPECT_EQ(expanded[3].path, ""); // no time attribute near the member
    EXPECT_EQ(expanded[5].path, ""); // not in the data set
    EXPECT_TRUE(TimePair::expand({}, nullptr).empty());
    EXPECT_EQ(TimePair::expand(paths, nullptr)[1].path, "");

    // Where the pools find each expanded path in the data set's values: member, then component.
    EXPECT_EQ(MmsDatasetHelper::getDataAssociatedIndexPaths(*dataSet, expanded),
              (std::vector<MmsDatasetHelper::IndexPath>{{0, 0}, {0, 2}, {1}, {}, {}, {}}));
}

TEST(TimePair, RefreshBuildsNewElementsOwningCopies) {
    Value on(MmsValue_newBoolean(true));
    Value time(MmsValue_newUtcTimeByMsTime(1700000000500ull));
    Value power(MmsValue_newFloat(3.5f));
    MmsValueElementList list(3);
    TimePair::refresh(list, {on.get(), time.get(), power.get(), nullptr, nullptr, time.get()});
    ASSERT_NE(list[0], nullptr);
    EXPECT_NE(list[0]->getValue(), on.get()) << "a copy, independent of the stack's buffer";
    EXPECT_TRUE(MmsValue_getBoolean(list[0]->getValue()));
    EXPECT_EQ(list[0]->getUnixTimestamp(), 1700000000500ull);
    ASSERT_NE(list[1], nullptr);
    EXPECT_EQ(list[1]->getUnixTimestamp(), 0u); // no time attribute: time stamp 0
    EXPECT_EQ(list[2], nullptr);                // no value yet

    auto held = list[0];
    MmsValue_setBoolean(on.get(), false); // the stack overwrites its buffer
    TimePair::refresh(list, {on.get(), nullptr, nullptr, nullptr});
    EXPECT_NE(list[0], held); // a new element; the held one keeps its pair
    EXPECT_TRUE(MmsValue_getBoolean(held->getValue()));
    EXPECT_FALSE(MmsValue_getBoolean(list[0]->getValue()));
    EXPECT_EQ(list[0]->getUnixTimestamp(), 1700000000500ull) << "no time in this message: the last one stays";
    ASSERT_NE(list[1], nullptr) << "no value in this message: the entry keeps its element";
    EXPECT_FLOAT_EQ(MmsValue_toFloat(list[1]->getValue()), 3.5f);
}
