#include "iec61850_common.h"
#include "linked_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

TEST(FunctionalConstraint, TextsAndCodesRoundTrip) {
    const char* texts[] = {"ST", "MX", "SP", "SV", "CF", "DC", "SG", "SE", "SR", "OR",
                           "BL", "EX", "CO", "US", "MS", "RP", "BR", "LG", "GO"};
    for (int code = 0; code <= 18; ++code) {
        const auto fc = static_cast<FunctionalConstraint>(code);
        ASSERT_STREQ(FunctionalConstraint_toString(fc), texts[code]);
        EXPECT_EQ(FunctionalConstraint_fromString(texts[code]), fc);
    }
    EXPECT_EQ(IEC61850_FC_ALL, 99);
    EXPECT_EQ(IEC61850_FC_NONE, -1);
    EXPECT_EQ(FunctionalConstraint_toString(IEC61850_FC_NONE), nullptr);
    EXPECT_EQ(FunctionalConstraint_toString(IEC61850_FC_ALL), nullptr);
    EXPECT_EQ(FunctionalConstraint_fromString("XX"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString("st"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString("S"), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString(""), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString(nullptr), IEC61850_FC_NONE);
    EXPECT_EQ(FunctionalConstraint_fromString("MX$mag"), IEC61850_FC_MX);
}

TEST(Quality, FlagsAndBitStringForm) {
    Quality q = 0;
    Quality_setValidity(&q, QUALITY_VALIDITY_QUESTIONABLE);
    Quality_setFlag(&q, QUALITY_TEST);
    Quality_setFlag(&q, QUALITY_DETAIL_OLD_DATA);
    EXPECT_EQ(Quality_getValidity(&q), QUALITY_VALIDITY_QUESTIONABLE);
    EXPECT_TRUE(Quality_isFlagSet(&q, QUALITY_TEST));
    Quality_unsetFlag(&q, QUALITY_DETAIL_OLD_DATA);
    EXPECT_FALSE(Quality_isFlagSet(&q, QUALITY_DETAIL_OLD_DATA));

    MmsValue* bits = Quality_toMmsValue(&q, nullptr);
    ASSERT_EQ(MmsValue_getBitStringSize(bits), 13);
    EXPECT_TRUE(MmsValue_getBitStringBit(bits, 0)); // questionable = validity bits 11
    EXPECT_TRUE(MmsValue_getBitStringBit(bits, 1));
    EXPECT_TRUE(MmsValue_getBitStringBit(bits, 11)); // test
    EXPECT_EQ(Quality_fromMmsValue(bits), q);
    MmsValue_delete(bits);
}

namespace {

int deletedCount = 0;
void countingDelete(void* data) {
    ++deletedCount;
    std::free(data);
}

char* text(const char* s) {
    return strdup(s);
}

} // namespace

TEST(LinkedList, DummyHeadOrderAndAccess) {
    LinkedList list = LinkedList_create();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(LinkedList_size(list), 0);
    EXPECT_EQ(LinkedList_getNext(list), nullptr);
    EXPECT_EQ(LinkedList_getLastElement(list), list);
    LinkedList_add(list, text("a"));
    LinkedList_add(list, text("b"));
    LinkedList_add(list, text("c"));
    EXPECT_EQ(LinkedList_size(list), 3);
    EXPECT_EQ(LinkedList_getData(list), nullptr); // the head carries no data
    std::string joined;
    for (LinkedList e = LinkedList_getNext(list); e; e = LinkedList_getNext(e))
        joined += static_cast<char*>(LinkedList_getData(e));
    EXPECT_EQ(joined, "abc");
    EXPECT_STREQ(static_cast<char*>(LinkedList_getData(LinkedList_get(list, 1))), "b");
    EXPECT_EQ(LinkedList_get(list, 3), nullptr);
    EXPECT_EQ(LinkedList_get(list, -1), nullptr);
    EXPECT_STREQ(static_cast<char*>(LinkedList_getData(LinkedList_getLastElement(list))), "c");

    LinkedList inserted = LinkedList_insertAfter(LinkedList_get(list, 0), text("x"));
    EXPECT_STREQ(static_cast<char*>(LinkedList_getData(inserted)), "x");
    EXPECT_STREQ(static_cast<char*>(LinkedList_getData(LinkedList_get(list, 1))), "x");
    EXPECT_EQ(LinkedList_size(list), 4);
    LinkedList_destroy(list); // frees every string: LeakSanitizer would report otherwise
}

TEST(LinkedList, RemoveKeepsDataAndDestroyVariantsOwnDifferently) {
    LinkedList list = LinkedList_create();
    char* a = text("a");
    char* b = text("b");
    LinkedList_add(list, a);
    LinkedList_add(list, b);
    EXPECT_TRUE(LinkedList_contains(list, b));
    EXPECT_TRUE(LinkedList_remove(list, b));
    EXPECT_FALSE(LinkedList_remove(list, b));
    EXPECT_FALSE(LinkedList_contains(list, b));
    EXPECT_EQ(LinkedList_size(list), 1);
    std::free(b); // removal left the data to the caller
    LinkedList_destroyStatic(list);
    std::free(a); // destroyStatic left it too

    deletedCount = 0;
    LinkedList deep = LinkedList_create();
    LinkedList_add(deep, text("1"));
    LinkedList_add(deep, text("2"));
    LinkedList_add(deep, nullptr); // empty data is not handed to the delete function
    LinkedList_destroyDeep(deep, countingDelete);
    EXPECT_EQ(deletedCount, 2);

    LinkedList_destroy(nullptr);
    EXPECT_EQ(LinkedList_size(nullptr), 0);
    EXPECT_EQ(LinkedList_getNext(nullptr), nullptr);
}
