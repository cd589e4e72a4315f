#include "iec61850_common.h"
#include "mms_value.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ValueDeleter {
    void operator()(MmsValue* v) const { MmsValue_delete(v); }
};
using Value = std::unique_ptr<MmsValue, ValueDeleter>;

} // namespace

TEST(MmsValueTime, UtcTimeMillisecondsRoundTripForEveryMillisecond) {
    Value t(MmsValue_newUtcTime(0));
    for (uint64_t ms = 0; ms < 1000; ++ms) {
        const uint64_t time = 1700000000000ull + ms;
        MmsValue_setUtcTimeMs(t.get(), time);
        ASSERT_EQ(MmsValue_getUtcTimeInMs(t.get()), time) << ms;
    }
}

TEST(MmsValueTime, UtcTimeLayoutSecondsFractionQuality) {
    Value t(MmsValue_newUtcTimeByMsTime(0x01020304ull * 1000 + 500));
    MmsValue_setUtcTimeQuality(t.get(), 0x8a);
    const uint8_t* raw = MmsValue_getUtcTimeBuffer(t.get());
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw[0], 0x01);
    EXPECT_EQ(raw[1], 0x02);
    EXPECT_EQ(raw[2], 0x03);
    EXPECT_EQ(raw[3], 0x04);
    EXPECT_EQ(raw[4], 0x80); // half a second
    EXPECT_EQ(raw[5], 0x00);
    EXPECT_EQ(raw[6], 0x00);
    EXPECT_EQ(raw[7], 0x8a);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(t.get()), 0x8a);
    EXPECT_EQ(MmsValue_toUnixTimestamp(t.get()), 0x01020304u);

    // Setting milliseconds keeps the quality; whole seconds clear the fraction.
    MmsValue_setUtcTimeMs(t.get(), 1000);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(t.get()), 0x8a);
    MmsValue_setUtcTime(t.get(), 7);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(t.get()), 7000u);
}

TEST(MmsValueTime, UtcTimeFromBufferWithMicroseconds) {
    const uint8_t raw[8] = {0x65, 0x53, 0xf1, 0x00, 0x40, 0x00, 0x00, 0x0a}; // .25 s
    Value t(MmsValue_newUtcTime(0));
    MmsValue_setUtcTimeByBuffer(t.get(), raw);
    uint32_t usec = 99;
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), &usec), 0x6553f100ull * 1000 + 250);
    EXPECT_EQ(usec, 0u);
    const uint8_t fine[8] = {0, 0, 0, 1, 0x00, 0x00, 0x11, 0}; // 17/2^24 s = 1.01 us
    MmsValue_setUtcTimeByBuffer(t.get(), fine);
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), &usec), 1000u);
    EXPECT_EQ(usec, 1u);
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), nullptr), 1000u);
}

TEST(MmsValueTime, BinaryTimeWithDateAndTimeOfDay) {
    Value withDate(MmsValue_newBinaryTime(false));
    MmsValue_setBinaryTime(withDate.get(), 1700000000123ull);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(withDate.get()), 1700000000123ull);
    Value timeOfDay(MmsValue_newBinaryTime(true));
    MmsValue_setBinaryTime(timeOfDay.get(), 1700000000123ull);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(timeOfDay.get()), 1700000000123ull % 86400000ull);
    Value other(MmsValue_newBinaryTime(false));
    MmsValue_setBinaryTime(other.get(), 1700000000123ull);
    EXPECT_TRUE(MmsValue_equals(withDate.get(), other.get()));
    EXPECT_FALSE(MmsValue_equals(withDate.get(), timeOfDay.get()));
}

TEST(Timestamp, FlagsAndTimesShareTheUtcTimeLayout) {
    Timestamp* ts = Timestamp_create();
    Timestamp_setTimeInMilliseconds(ts, 1700000000999ull);
    Timestamp_setLeapSecondKnown(ts, true);
    Timestamp_setClockNotSynchronized(ts, true);
    Timestamp_setSubsecondPrecision(ts, 10);
    EXPECT_EQ(Timestamp_getTimeInMs(ts), 1700000000999ull);
    EXPECT_EQ(Timestamp_getTimeInSeconds(ts), 1700000000u);
    EXPECT_TRUE(Timestamp_isLeapSecondKnown(ts));
    EXPECT_FALSE(Timestamp_hasClockFailure(ts));
    EXPECT_TRUE(Timestamp_isClockNotSynchronized(ts));
    EXPECT_EQ(Timestamp_getSubsecondPrecision(ts), 10);

    MmsValue* v = Timestamp_toMmsValue(ts, nullptr);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(v), 1700000000999ull);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(v), 0x80 | 0x20 | 10);
    Timestamp copy{};
    Timestamp_setByMmsUtcTime(&copy, v);
    EXPECT_EQ(Timestamp_getTimeInMs(&copy), 1700000000999ull);
    MmsValue_delete(v);
    Timestamp_clearFlags(ts);
    EXPECT_FALSE(Timestamp_isLeapSecondKnown(ts));
    Timestamp_destroy(ts);
}
