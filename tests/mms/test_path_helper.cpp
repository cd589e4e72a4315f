#include "mms/MmsPath.h"
#include "mms/MmsPathHelper.h"
#include "mms/MmsValueElement.h"

#include <gtest/gtest.h>

#include <memory>

using namespace VorIec61850;

TEST(MmsPathHelper, FunctionalConstraintAndParentOfAPath) {
    const struct {
        const char* path;
        const char* withoutFc;
        const char* fcText;
        tFCEnum fc;
        const char* parent;
    } cases[] = {
        {"A.b[ST]", "A.b", "ST", tFCEnum::ST, "A"},
        {"A.b", "A.b", "", tFCEnum::NONE, "A"},
        {"A.b]", "A.b]", "", tFCEnum::NONE, "A"},
        {"", "", "", tFCEnum::NONE, ""},
        {"A[1].b[MX]", "A[1].b", "MX", tFCEnum::MX, "A[1]"}, // the last '[' counts
        {"A[ST].b", "A[ST].b", "", tFCEnum::NONE, "A[ST]"},  // no bracket at the end
        {"A.b[]", "A.b", "", tFCEnum::NONE, "A"},
        {"A.b[XX]", "A.b", "XX", tFCEnum::NONE, "A"},
        {"A.b[GO]", "A.b", "GO", tFCEnum::GO, "A"},
        {"A.b[st]", "A.b", "st", tFCEnum::NONE, "A"},
        {"]", "]", "", tFCEnum::NONE, ""},
        {"[]", "", "", tFCEnum::NONE, ""},
        {"LD/LN.DO.stVal", "LD/LN.DO.stVal", "", tFCEnum::NONE, "LD/LN.DO"},
        {"LD/LN", "LD/LN", "", tFCEnum::NONE, ""},
        // The FC bracket is not looked at: callers strip it first when it may contain a dot.
        {"LD/LN.DO.stVal[ST]", "LD/LN.DO.stVal", "ST", tFCEnum::ST, "LD/LN.DO"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(MmsPathHelper::getPathWithoutFC(c.path), c.withoutFc);
        EXPECT_EQ(MmsPathHelper::getPathFCstring(c.path), c.fcText);
        EXPECT_EQ(MmsPathHelper::getPathFC(c.path), c.fc);
        EXPECT_EQ(MmsPathHelper::getParentNodePath(c.path), c.parent);
    }
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
