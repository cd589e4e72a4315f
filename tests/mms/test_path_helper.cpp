#include "mms/MmsPath.h"
#include "mms/MmsPathHelper.h"
#include "mms/MmsValueElement.h"

#include <gtest/gtest.h>

#include <memory>

using namespace VorIec61850;

TEST(MmsPathHelper, PathWithoutFC) {
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("A.b[ST]"), "A.b");
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("A.b"), "A.b");
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("A.b]"), "A.b]");
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC(""), "");
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("A[1].b[MX]"), "A[1].b"); // the last '[' counts
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("A[ST].b"), "A[ST].b");   // no bracket at the end
}

TEST(MmsPathHelper, FCTextAndCode) {
    EXPECT_EQ(MmsPathHelper::getPathFCstring("A.b[]"), "");
    EXPECT_EQ(MmsPathHelper::getPathFC("A.b[]"), tFCEnum::NONE);
    EXPECT_EQ(MmsPathHelper::getPathFCstring("A.b[XX]"), "XX");
    EXPECT_EQ(MmsPathHelper::getPathFC("A.b[XX]"), tFCEnum::NONE);
    EXPECT_EQ(MmsPathHelper::getPathFC("A.b[MX]"), tFCEnum::MX);
    EXPECT_EQ(MmsPathHelper::getPathFC("LD0/LLN0.Mod.stVal[ST]"), tFCEnum::ST);
    EXPECT_EQ(MmsPathHelper::getPathFC("A.b[GO]"), tFCEnum::GO);
    EXPECT_EQ(MmsPathHelper::getPathFC("A.b[st]"), tFCEnum::NONE);
    EXPECT_EQ(MmsPathHelper::getPathFCstring("A.b"), "");
    EXPECT_EQ(MmsPathHelper::getPathFCstring("]"), "");
    EXPECT_EQ(MmsPathHelper::getPathFCstring("[]"), "");
    EXPECT_EQ(MmsPathHelper::getPathWithoutFC("[]"), "");
}

TEST(MmsPathHelper, ParentNodePath) {
    EXPECT_EQ(MmsPathHelper::getParentNodePath("LD/LN.DO.stVal"), "LD/LN.DO");
    EXPECT_EQ(MmsPathHelper::getParentNodePath("LD/LN"), "");
    EXPECT_EQ(MmsPathHelper::getParentNodePath(""), "");
    // The FC bracket is not looked at: callers strip it first when it may contain a dot.
    EXPECT_EQ(MmsPathHelper::getParentNodePath("LD/LN.DO.stVal[ST]"), "LD/LN.DO");
}

TEST(MmsPath, CarriesPathAndChannel) {
    auto* channel = reinterpret_cast<VorRelay::IChannel*>(0x1234);
    MmsPath path("LD0/LLN0.Mod.stVal[ST]", channel);
    EXPECT_EQ(path.path, "LD0/LLN0.Mod.stVal[ST]");
    EXPECT_EQ(path.channel, channel);
    MmsPath copy = path;
    EXPECT_EQ(copy, path);
    EXPECT_EQ(MmsPath().channel, nullptr);
}

TEST(MmsValueElement, BooleanReadingsWithAndWithoutValue) {
    MmsValueElement empty(nullptr, 5);
    EXPECT_TRUE(empty.getBooleanValue(true));
    EXPECT_FALSE(empty.getBooleanValue(false));
    EXPECT_FALSE(empty.getNullableBooleanValue().has_value());
    EXPECT_EQ(empty.getUnixTimestamp(), 5u);

    std::unique_ptr<MmsValue, void (*)(MmsValue*)> on(MmsValue_newBoolean(true), MmsValue_delete);
    MmsValueElement element(on.get(), 1700000000123ull);
    EXPECT_EQ(element.getValue(), on.get());
    EXPECT_FALSE(element.getBooleanValue(false) == false);
    ASSERT_TRUE(element.getNullableBooleanValue().has_value());
    EXPECT_TRUE(*element.getNullableBooleanValue());
    EXPECT_EQ(element.getUnixTimestamp(), 1700000000123ull);

    // A non-boolean value reads as false, not as the default.
    std::unique_ptr<MmsValue, void (*)(MmsValue*)> number(MmsValue_newIntegerFromInt32(1), MmsValue_delete);
    MmsValueElement numeric(number.get(), 0);
    EXPECT_FALSE(numeric.getBooleanValue(true));
}
