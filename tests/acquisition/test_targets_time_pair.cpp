#include "acquisition/TargetsTimePair.h"
#include "support/IedClient.h"

#include <gtest/gtest.h>

using namespace VorIec61850;

using iecx::test::Value;

// The expansion of paths into value and time pairs is checked through the pools that use it (the
// report pool's and the GOOSE pool's time pair targets); here the refresh of the value list.
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
