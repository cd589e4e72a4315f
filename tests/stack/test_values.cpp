// The value model: construction, printing, access of the wrong kind, equality, copies, bit and
// octet strings, times and time stamps, functional constraints, quality and the linked list.
#include "iec61850_common.h"
#include "linked_list.h"
#include "mms_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ValueDeleter {
    void operator()(MmsValue* v) const { MmsValue_delete(v); }
};
using Value = std::unique_ptr<MmsValue, ValueDeleter>;

Value structureOf(std::initializer_list<MmsValue*> components) {
    Value s(MmsValue_createEmptyStructure(static_cast<int>(components.size())));
    int i = 0;
    for (MmsValue* c : components)
        MmsValue_setElement(s.get(), i++, c);
    return s;
}

std::string print(const MmsValue* v, int size = 256) {
    std::string buffer(static_cast<std::size_t>(size), 'X');
    const char* result = MmsValue_printToBuffer(v, buffer.data(), size);
    EXPECT_EQ(result, buffer.data());
    return std::string(result);
}

MmsValue* octets(std::initializer_list<uint8_t> bytes) {
    MmsValue* o = MmsValue_newOctetString(0, static_cast<int>(bytes.size()));
    MmsValue_setOctetString(o, std::data(bytes), static_cast<int>(bytes.size()));
    return o;
}

MmsValue* binaryTime(bool timeOfDay, uint64_t ms) {
    MmsValue* b = MmsValue_newBinaryTime(timeOfDay);
    MmsValue_setBinaryTime(b, ms);
    return b;
}

MmsValue* bitString(int size, std::initializer_list<int> set) {
    MmsValue* b = MmsValue_newBitString(size);
    for (int bit : set)
        MmsValue_setBitStringBit(b, bit, true);
    return b;
}

} // namespace

// The printed form of the kinds the simulated IED serves is checked through the client
// (tests/sim/test_client.cpp); here the others, the type names and the buffer's bounds.
TEST(MmsValueModel, ConstructorsTypeNamesAndPrintedForm) {
    const struct {
        std::function<MmsValue*()> make;
        MmsType type;
        const char* typeName; // nullptr: not checked
        const char* printed;
    } cases[] = {
        {[] { return MmsValue_newBoolean(true); }, MMS_BOOLEAN, "boolean", "true"},
        {[] { return MmsValue_newUnsignedFromUint32(4000000000u); }, MMS_UNSIGNED, nullptr, "4000000000"},
        {[] { return MmsValue_newMmsString("Текст"); }, MMS_STRING, nullptr, "Текст"},
        {[] { return MmsValue_newVisibleString(nullptr); }, MMS_VISIBLE_STRING, nullptr, ""},
        // Bit strings print bit 0 first, as on the wire.
        {[] {
             return bitString(13, {1, 12});
         },
         MMS_BIT_STRING, "bit-string", "0100000000001"},
        {[] { return MmsValue_newDataAccessError(DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED); },
         MMS_DATA_ACCESS_ERROR, "access-error", "error 3"},
        {[] { return MmsValue_newUtcTimeByMsTime(1700000000123ull); }, MMS_UTC_TIME, "utc-time",
         "20231114221320.123Z"},
        {[] { return binaryTime(false, 1700000000123ull); }, MMS_BINARY_TIME, nullptr, "20231114221320.123Z"},
        {[] { return binaryTime(true, 1700000000123ull); }, MMS_BINARY_TIME, nullptr, "22:13:20.123"},
        {[] { return MmsValue_createEmptyStructure(0); }, MMS_STRUCTURE, "structure", "{}"},
        {[] {
             MmsValue* outer = MmsValue_createEmptyArray(3);
             MmsValue_setElement(
                 outer, 0,
                 structureOf({MmsValue_newBoolean(true), MmsValue_newIntegerFromInt32(2)}).release());
             MmsValue_setElement(outer, 1, MmsValue_newVisibleString("x"));
             return outer;
         },
         MMS_ARRAY, nullptr, "{{true,2},x,NULL}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        Value v(c.make());
        EXPECT_EQ(MmsValue_getType(v.get()), c.type);
        if (c.typeName) {
            EXPECT_STREQ(MmsValue_getTypeString(v.get()), c.typeName);
        }
        EXPECT_EQ(print(v.get()), c.printed);
    }
    EXPECT_EQ(print(nullptr), "NULL");
    EXPECT_STREQ(MmsValue_getTypeString(nullptr), "unknown(error)");

    // Printing truncates to the buffer and always terminates.
    Value s(MmsValue_newVisibleString("abcdefgh"));
    EXPECT_EQ(print(s.get(), 4), "abc");
    EXPECT_EQ(print(s.get(), 1), "");
    char untouched = 'Z';
    EXPECT_EQ(MmsValue_printToBuffer(s.get(), &untouched, 0), &untouched);
    EXPECT_EQ(untouched, 'Z');
    EXPECT_EQ(MmsValue_printToBuffer(s.get(), nullptr, 10), nullptr);
}

TEST(MmsValueModel, NumbersStringsAndAccessOfTheWrongKind) {
    Value i(MmsValue_newIntegerFromInt32(-42));
    Value big(MmsValue_newIntegerFromInt64(std::numeric_limits<int64_t>::min()));
    EXPECT_EQ(MmsValue_toInt64(big.get()), std::numeric_limits<int64_t>::min());
    Value u(MmsValue_newUnsignedFromUint32(0xFFFFFFFFu));
    EXPECT_EQ(MmsValue_toInt64(u.get()), 0xFFFFFFFFll);

    // Setters change only their own kind; a single precision value stays single precision.
    MmsValue_setInt32(i.get(), -7);
    MmsValue_setUint32(i.get(), 9);
    EXPECT_EQ(MmsValue_toInt32(i.get()), -7);
    Value f(MmsValue_newFloat(0));
    MmsValue_setDouble(f.get(), 0.1);
    EXPECT_EQ(MmsValue_toDouble(f.get()), static_cast<double>(0.1f));
    Value b(MmsValue_newBoolean(false));
    MmsValue_setBoolean(b.get(), true);
    MmsValue_setInt32(b.get(), 5);
    MmsValue_setVisibleString(b.get(), "x");
    EXPECT_TRUE(MmsValue_getBoolean(b.get()));
    EXPECT_EQ(MmsValue_getDataAccessError(b.get()), DATA_ACCESS_ERROR_SUCCESS);
    EXPECT_EQ(MmsValue_toInt32(b.get()), 0);
    EXPECT_EQ(MmsValue_toString(b.get()), nullptr);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(b.get()), 0u);
    EXPECT_FALSE(MmsValue_getBoolean(i.get()));
    EXPECT_EQ(MmsValue_getType(nullptr), MMS_DATA_ACCESS_ERROR);

    // Visible strings stop at a zero byte and respect their size.
    const uint8_t bytes[] = {'a', 'b', 'c', 0, 'd'};
    Value s(MmsValue_newVisibleStringFromByteArray(bytes, 5));
    EXPECT_STREQ(MmsValue_toString(s.get()), "abc");
    Value t(MmsValue_newVisibleStringFromByteArray(bytes, 2));
    EXPECT_STREQ(MmsValue_toString(t.get()), "ab");
    Value bounded(MmsValue_newVisibleStringWithSize(3));
    MmsValue_setVisibleString(bounded.get(), "abcdef");
    EXPECT_STREQ(MmsValue_toString(bounded.get()), "abc");
}

TEST(MmsValueModel, ElementsAndDefaults) {
    Value s = structureOf({MmsValue_newBoolean(true), MmsValue_newIntegerFromInt32(3)});
    EXPECT_EQ(MmsValue_toInt32(MmsValue_getElement(s.get(), 1)), 3);
    EXPECT_EQ(MmsValue_getElement(s.get(), 2), nullptr);
    EXPECT_EQ(MmsValue_getElement(s.get(), -1), nullptr);
    EXPECT_EQ(MmsValue_getElement(nullptr, 0), nullptr);
    Value scalar(MmsValue_newBoolean(true));
    EXPECT_EQ(MmsValue_getElement(scalar.get(), 0), nullptr);
    EXPECT_EQ(MmsValue_getArraySize(scalar.get()), 0u);
    // Setting out of range does not take the element over: the caller still owns it.
    MmsValue* orphan = MmsValue_newBoolean(false);
    MmsValue_setElement(s.get(), 5, orphan);
    EXPECT_EQ(MmsValue_getArraySize(s.get()), 2u);
    MmsValue_delete(orphan);
    Value a(MmsValue_createEmptyArray(3));
    EXPECT_EQ(MmsValue_getElement(a.get(), 1), nullptr);
    Value negative(MmsValue_createEmptyStructure(-4));
    EXPECT_EQ(MmsValue_getArraySize(negative.get()), 0u);

    // Default values follow the type description.
    MmsVariableSpecification stVal{}, q{}, t{}, st{};
    stVal.type = MMS_BOOLEAN;
    q.type = MMS_BIT_STRING;
    q.typeSpec.bitString = 13;
    t.type = MMS_UTC_TIME;
    MmsVariableSpecification* elements[] = {&stVal, &q, &t};
    st.type = MMS_STRUCTURE;
    st.typeSpec.structure.elementCount = 3;
    st.typeSpec.structure.elements = elements;
    Value d(MmsValue_newStructure(&st));
    EXPECT_EQ(print(d.get()), "{false,0000000000000,19700101000000.000Z}");
    Value array(MmsValue_createArray(&st, 2));
    ASSERT_EQ(MmsValue_getArraySize(array.get()), 2u);
    EXPECT_TRUE(MmsValue_equals(MmsValue_getElement(array.get(), 0), d.get()));
    EXPECT_EQ(MmsValue_newStructure(&stVal), nullptr);
    EXPECT_EQ(MmsValue_newDefaultValue(nullptr), nullptr);
}

TEST(MmsValueModel, EqualsComparesTypeAndContentRecursively) {
    using Make = std::function<MmsValue*()>;
    const Make sx = [] {
        return structureOf({MmsValue_newBoolean(true), MmsValue_newVisibleString("x")}).release();
    };
    const Make sy = [] {
        return structureOf({MmsValue_newBoolean(true), MmsValue_newVisibleString("y")}).release();
    };
    const Make shorter = [] { return structureOf({MmsValue_newBoolean(true)}).release(); };
    const Make time = [] { return MmsValue_newUtcTimeByMsTime(1700000000123ull); };
    const Make date = [] { return binaryTime(false, 1700000000123ull); };
    const struct {
        Make a, b;
        bool equal;
        const char* what;
    } cases[] = {
        {sx, sx, true, "same structure"},
        {sx, sy, false, "a component differs"},
        {sx, shorter, false, "shorter"},
        {[] { return MmsValue_newIntegerFromInt32(5); }, [] { return MmsValue_newIntegerFromInt64(5); }, true,
         "the number counts, not its width"},
        {[] { return MmsValue_newIntegerFromInt32(5); }, [] { return MmsValue_newUnsignedFromUint32(5); },
         false, "signed and unsigned"},
        {[] { return MmsValue_newFloat(1.0f); }, [] { return MmsValue_newDouble(1.0); }, false,
         "float and double"},
        {[] { return MmsValue_newFloat(std::nanf("")); }, [] { return MmsValue_newFloat(std::nanf("")); },
         true, "NaN"},
        {[] { return bitString(13, {}); }, [] { return bitString(13, {}); }, true, "bit strings"},
        {[] { return bitString(13, {}); }, [] { return bitString(12, {}); }, false, "bit string sizes"},
        {[] { return bitString(13, {}); }, [] { return bitString(13, {12}); }, false, "last bit"},
        {time, time, true, "times"},
        {time,
         [] {
             MmsValue* t = MmsValue_newUtcTimeByMsTime(1700000000123ull);
             MmsValue_setUtcTimeQuality(t, 0x0a);
             return t;
         },
         false, "time quality"},
        {date, date, true, "binary times"},
        {date, [] { return binaryTime(true, 1700000000123ull); }, false, "date and time of day"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Value a(c.a()), b(c.b());
        EXPECT_EQ(MmsValue_equals(a.get(), b.get()), c.equal);
    }
    Value a(sx()), c(sy()), one(shorter());
    EXPECT_TRUE(MmsValue_equalTypes(a.get(), c.get()));
    EXPECT_FALSE(MmsValue_equalTypes(a.get(), one.get()));
    EXPECT_FALSE(MmsValue_equals(nullptr, nullptr));
    EXPECT_FALSE(MmsValue_equals(a.get(), nullptr));
}

TEST(MmsValueModel, CloneIsDeepAndUpdateCopiesContentOfTheSameShapeInPlace) {
    Value original =
        structureOf({MmsValue_newIntegerFromInt32(1), structureOf({MmsValue_newBoolean(false)}).release()});
    Value copy(MmsValue_clone(original.get()));
    ASSERT_TRUE(MmsValue_equals(original.get(), copy.get()));
    MmsValue_setBoolean(MmsValue_getElement(MmsValue_getElement(copy.get(), 1), 0), true);
    EXPECT_FALSE(MmsValue_equals(original.get(), copy.get()));
    EXPECT_NE(MmsValue_getElement(original.get(), 0), MmsValue_getElement(copy.get(), 0));
    EXPECT_EQ(MmsValue_clone(nullptr), nullptr);

    Value target = structureOf({MmsValue_newIntegerFromInt32(1), MmsValue_newVisibleString("a")});
    Value source = structureOf({MmsValue_newIntegerFromInt32(2), MmsValue_newVisibleString("bcd")});
    MmsValue* firstBefore = MmsValue_getElement(target.get(), 0);
    ASSERT_TRUE(MmsValue_update(target.get(), source.get()));
    EXPECT_TRUE(MmsValue_equals(target.get(), source.get()));
    EXPECT_EQ(MmsValue_getElement(target.get(), 0), firstBefore);
    Value other = structureOf({MmsValue_newBoolean(true)});
    EXPECT_FALSE(MmsValue_update(target.get(), other.get()));
    Value b(MmsValue_newBoolean(true));
    Value i(MmsValue_newIntegerFromInt32(0));
    EXPECT_FALSE(MmsValue_update(i.get(), b.get()));
    Value small(MmsValue_newOctetString(0, 2));
    Value three(octets({1, 2, 3}));
    EXPECT_TRUE(MmsValue_update(small.get(), three.get()));
    EXPECT_EQ(MmsValue_getOctetStringSize(small.get()), 3);
}

TEST(MmsValueModel, BitAndOctetStrings) {
    Value bits(bitString(13, {0, 11, 13, -1})); // 13 and -1 are out of range: ignored
    EXPECT_EQ(MmsValue_getBitStringByteSize(bits.get()), 2);
    EXPECT_FALSE(MmsValue_getBitStringBit(bits.get(), 13));
    EXPECT_EQ(MmsValue_getNumberOfSetBits(bits.get()), 2);
    EXPECT_EQ(MmsValue_getBitStringAsInteger(bits.get()), (1u << 0) | (1u << 11));
    // Bit 0 is the most significant of 13 bits in big endian order.
    EXPECT_EQ(MmsValue_getBitStringAsIntegerBigEndian(bits.get()), (1u << 12) | (1u << 1));
    MmsValue_setBitStringFromInteger(bits.get(), 0x5);
    EXPECT_EQ(print(bits.get()), "1010000000000");
    Value dbpos(MmsValue_newBitString(2));
    MmsValue_setBitStringFromIntegerBigEndian(dbpos.get(), 2); // "10": on
    EXPECT_EQ(print(dbpos.get()), "10");
    MmsValue_setAllBitStringBits(dbpos.get());
    EXPECT_EQ(MmsValue_getBitStringAsIntegerBigEndian(dbpos.get()), 3u);
    MmsValue_deleteAllBitStringBits(dbpos.get());
    EXPECT_EQ(MmsValue_getNumberOfSetBits(dbpos.get()), 0);

    Value o(MmsValue_newOctetString(2, 4));
    EXPECT_EQ(MmsValue_getOctetStringSize(o.get()), 2);
    EXPECT_EQ(MmsValue_getOctetStringMaxSize(o.get()), 4);
    const uint8_t four[] = {0xde, 0xad, 0xbe, 0xef}, five[] = {1, 2, 3, 4, 5};
    MmsValue_setOctetString(o.get(), four, 4);
    EXPECT_EQ(std::memcmp(MmsValue_getOctetStringBuffer(o.get()), four, 4), 0);
    EXPECT_EQ(MmsValue_getOctetStringOctet(o.get(), 3), 0xef);
    EXPECT_EQ(MmsValue_getOctetStringOctet(o.get(), 4), 0);
    MmsValue_setOctetString(o.get(), five, 5); // too long: refused
    EXPECT_EQ(MmsValue_getOctetStringSize(o.get()), 4);
    // The buffer takes the maximum size whatever the current length; the length is set after.
    for (int length : {0, 1, 3}) {
        Value small(MmsValue_newOctetString(length, 8));
        uint8_t* buffer = MmsValue_getOctetStringBuffer(small.get());
        std::memcpy(buffer, "\x01\x02\x03\x04\x05\x06\x07\x08", 8);
        MmsValue_setOctetString(small.get(), buffer, 8);
        EXPECT_EQ(MmsValue_getOctetStringSize(small.get()), 8) << length;
        EXPECT_EQ(MmsValue_getOctetStringOctet(small.get(), 7), 8) << length;
        MmsValue_setOctetString(small.get(), buffer + 2, 3); // overlapping content moves down
        EXPECT_EQ(MmsValue_getOctetStringSize(small.get()), 3);
        EXPECT_EQ(MmsValue_getOctetStringOctet(small.get(), 0), 3);
        Value copy(MmsValue_clone(small.get()));
        EXPECT_TRUE(MmsValue_equals(copy.get(), small.get()));
        EXPECT_EQ(MmsValue_getOctetStringBuffer(copy.get())[2], 5);
    }
    Value empty(MmsValue_newOctetString(0, 0));
    EXPECT_NE(MmsValue_getOctetStringBuffer(empty.get()), nullptr);
}

TEST(MmsValueTime, UtcAndBinaryTimes) {
    Value t(MmsValue_newUtcTime(0));
    for (uint64_t ms = 0; ms < 1000; ++ms) {
        MmsValue_setUtcTimeMs(t.get(), 1700000000000ull + ms);
        ASSERT_EQ(MmsValue_getUtcTimeInMs(t.get()), 1700000000000ull + ms) << ms;
    }
    // Seconds, fraction, quality.
    Value l(MmsValue_newUtcTimeByMsTime(0x01020304ull * 1000 + 500));
    MmsValue_setUtcTimeQuality(l.get(), 0x8a);
    const uint8_t* raw = MmsValue_getUtcTimeBuffer(l.get());
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(raw, raw + 8), (std::vector<uint8_t>{1, 2, 3, 4, 0x80, 0, 0, 0x8a}));
    EXPECT_EQ(MmsValue_getUtcTimeQuality(l.get()), 0x8a);
    EXPECT_EQ(MmsValue_toUnixTimestamp(l.get()), 0x01020304u);
    // Setting milliseconds keeps the quality; whole seconds clear the fraction.
    MmsValue_setUtcTimeMs(l.get(), 1000);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(l.get()), 0x8a);
    MmsValue_setUtcTime(l.get(), 7);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(l.get()), 7000u);

    const uint8_t quarter[8] = {0x65, 0x53, 0xf1, 0x00, 0x40, 0x00, 0x00, 0x0a}; // .25 s
    MmsValue_setUtcTimeByBuffer(t.get(), quarter);
    uint32_t usec = 99;
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), &usec), 0x6553f100ull * 1000 + 250);
    EXPECT_EQ(usec, 0u);
    const uint8_t fine[8] = {0, 0, 0, 1, 0x00, 0x00, 0x11, 0}; // 17/2^24 s = 1.01 us
    MmsValue_setUtcTimeByBuffer(t.get(), fine);
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), &usec), 1000u);
    EXPECT_EQ(usec, 1u);
    EXPECT_EQ(MmsValue_getUtcTimeInMsWithUs(t.get(), nullptr), 1000u);

    Value withDate(binaryTime(false, 1700000000123ull)), timeOfDay(binaryTime(true, 1700000000123ull));
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(withDate.get()), 1700000000123ull);
    EXPECT_EQ(MmsValue_getBinaryTimeAsUtcMs(timeOfDay.get()), 1700000000123ull % 86400000ull);
}

TEST(Timestamp, FlagsAndTimesShareTheUtcTimeLayout) {
    Timestamp ts{};
    Timestamp_setTimeInMilliseconds(&ts, 1700000000999ull);
    Timestamp_setLeapSecondKnown(&ts, true);
    Timestamp_setClockNotSynchronized(&ts, true);
    Timestamp_setSubsecondPrecision(&ts, 10);
    EXPECT_EQ(Timestamp_getTimeInSeconds(&ts), 1700000000u);
    EXPECT_FALSE(Timestamp_hasClockFailure(&ts));
    EXPECT_EQ(Timestamp_getSubsecondPrecision(&ts), 10);
    Value v(Timestamp_toMmsValue(&ts, nullptr));
    EXPECT_EQ(MmsValue_getUtcTimeInMs(v.get()), 1700000000999ull);
    EXPECT_EQ(MmsValue_getUtcTimeQuality(v.get()), 0x80 | 0x20 | 10);
}

TEST(FunctionalConstraint, TextsAndCodesRoundTrip) {
    const char* texts[] = {"ST", "MX", "SP", "SV", "CF", "DC", "SG", "SE", "SR", "OR",
                           "BL", "EX", "CO", "US", "MS", "RP", "BR", "LG", "GO"};
    for (int code = 0; code <= 18; ++code) {
        const auto fc = static_cast<FunctionalConstraint>(code);
        ASSERT_STREQ(FunctionalConstraint_toString(fc), texts[code]);
        EXPECT_EQ(FunctionalConstraint_fromString(texts[code]), fc);
    }
    EXPECT_EQ(FunctionalConstraint_toString(IEC61850_FC_NONE), nullptr);
    EXPECT_EQ(FunctionalConstraint_toString(IEC61850_FC_ALL), nullptr);
    for (const char* bad : {"XX", "st", "S", ""})
        EXPECT_EQ(FunctionalConstraint_fromString(bad), IEC61850_FC_NONE) << bad;
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
    Value bits(Quality_toMmsValue(&q, nullptr));
    EXPECT_EQ(print(bits.get()), "1100000000010"); // questionable = validity bits 11, test = bit 11
    EXPECT_EQ(Quality_fromMmsValue(bits.get()), q);
}

// Ownership: destroy frees the data still listed (ASan checks), removal hands it back.
TEST(LinkedList, OrderInsertionAndRemoval) {
    LinkedList list = LinkedList_create();
    char* b = strdup("b");
    for (char* s : {strdup("a"), b, strdup("c")})
        LinkedList_add(list, s);
    LinkedList_insertAfter(LinkedList_get(list, 0), strdup("x"));
    EXPECT_TRUE(LinkedList_remove(list, b));
    EXPECT_FALSE(LinkedList_contains(list, b));
    std::free(b);
    std::string joined;
    for (LinkedList e = LinkedList_getNext(list); e; e = LinkedList_getNext(e))
        joined += static_cast<char*>(LinkedList_getData(e));
    EXPECT_EQ(joined, "axc");
    EXPECT_EQ(LinkedList_size(list), 3);
    EXPECT_EQ(LinkedList_get(list, 3), nullptr);
    LinkedList_destroy(list);
}
