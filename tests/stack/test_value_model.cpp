#include "mms_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

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

} // namespace

TEST(MmsValueModel, ConstructorsSetTypeAndContent) {
    Value b(MmsValue_newBoolean(true));
    EXPECT_EQ(MmsValue_getType(b.get()), MMS_BOOLEAN);
    EXPECT_TRUE(MmsValue_getBoolean(b.get()));

    Value i(MmsValue_newIntegerFromInt32(-42));
    EXPECT_EQ(MmsValue_getType(i.get()), MMS_INTEGER);
    EXPECT_EQ(MmsValue_toInt32(i.get()), -42);
    EXPECT_EQ(MmsValue_toInt64(i.get()), -42);

    Value big(MmsValue_newIntegerFromInt64(std::numeric_limits<int64_t>::min()));
    EXPECT_EQ(MmsValue_toInt64(big.get()), std::numeric_limits<int64_t>::min());

    Value u(MmsValue_newUnsignedFromUint32(0xFFFFFFFFu));
    EXPECT_EQ(MmsValue_getType(u.get()), MMS_UNSIGNED);
    EXPECT_EQ(MmsValue_toUint32(u.get()), 0xFFFFFFFFu);
    EXPECT_EQ(MmsValue_toInt64(u.get()), 0xFFFFFFFFll);

    Value f(MmsValue_newFloat(1.5f));
    EXPECT_EQ(MmsValue_getType(f.get()), MMS_FLOAT);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(f.get()), 1.5f);
    Value d(MmsValue_newDouble(0.1));
    EXPECT_DOUBLE_EQ(MmsValue_toDouble(d.get()), 0.1);

    Value vs(MmsValue_newVisibleString("LD0/LLN0"));
    EXPECT_EQ(MmsValue_getType(vs.get()), MMS_VISIBLE_STRING);
    EXPECT_STREQ(MmsValue_toString(vs.get()), "LD0/LLN0");
    Value ms(MmsValue_newMmsString("Текст"));
    EXPECT_EQ(MmsValue_getType(ms.get()), MMS_STRING);
    EXPECT_STREQ(MmsValue_toString(ms.get()), "Текст");

    Value err(MmsValue_newDataAccessError(DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT));
    EXPECT_EQ(MmsValue_getType(err.get()), MMS_DATA_ACCESS_ERROR);
    EXPECT_EQ(MmsValue_getDataAccessError(err.get()), DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT);
    EXPECT_EQ(MmsValue_getDataAccessError(b.get()), DATA_ACCESS_ERROR_SUCCESS);
}

TEST(MmsValueModel, VisibleStringFromByteArrayStopsAtZeroAndRespectsSize) {
    const uint8_t bytes[] = {'a', 'b', 'c', 0, 'd'};
    Value s(MmsValue_newVisibleStringFromByteArray(bytes, 5));
    EXPECT_STREQ(MmsValue_toString(s.get()), "abc");
    Value t(MmsValue_newVisibleStringFromByteArray(bytes, 2));
    EXPECT_STREQ(MmsValue_toString(t.get()), "ab");
    Value n(MmsValue_newVisibleString(nullptr));
    EXPECT_STREQ(MmsValue_toString(n.get()), "");
    Value bounded(MmsValue_newVisibleStringWithSize(3));
    MmsValue_setVisibleString(bounded.get(), "abcdef");
    EXPECT_STREQ(MmsValue_toString(bounded.get()), "abc");
}

TEST(MmsValueModel, WrongTypeAccessIsNeutral) {
    Value b(MmsValue_newBoolean(true));
    EXPECT_EQ(MmsValue_toInt32(b.get()), 0);
    EXPECT_EQ(MmsValue_toString(b.get()), nullptr);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(b.get()), 0u);
    MmsValue_setInt32(b.get(), 5);
    MmsValue_setVisibleString(b.get(), "x");
    EXPECT_TRUE(MmsValue_getBoolean(b.get()));
    EXPECT_FALSE(MmsValue_getBoolean(nullptr));
    EXPECT_EQ(MmsValue_getType(nullptr), MMS_DATA_ACCESS_ERROR);
    Value i(MmsValue_newIntegerFromInt32(1));
    EXPECT_FALSE(MmsValue_getBoolean(i.get()));
}

TEST(MmsValueModel, SettersChangeOnlyTheirType) {
    Value i(MmsValue_newIntegerFromInt32(0));
    MmsValue_setInt32(i.get(), -7);
    EXPECT_EQ(MmsValue_toInt32(i.get()), -7);
    MmsValue_setUint32(i.get(), 9); // unsigned setter does not apply to a signed value
    EXPECT_EQ(MmsValue_toInt32(i.get()), -7);

    Value u(MmsValue_newUnsigned(2));
    MmsValue_setUint16(u.get(), 65535);
    EXPECT_EQ(MmsValue_toUint32(u.get()), 65535u);

    Value f(MmsValue_newFloat(0));
    MmsValue_setDouble(f.get(), 0.1); // a single precision value stays single precision
    EXPECT_EQ(MmsValue_toDouble(f.get()), static_cast<double>(0.1f));
    MmsValue_setFloat(f.get(), 2.25f);
    EXPECT_FLOAT_EQ(MmsValue_toFloat(f.get()), 2.25f);

    Value b(MmsValue_newBoolean(false));
    MmsValue_setBoolean(b.get(), true);
    EXPECT_TRUE(MmsValue_getBoolean(b.get()));
}

TEST(MmsValueModel, ElementAccessOutOfRangeGivesNull) {
    Value s = structureOf({MmsValue_newBoolean(true), MmsValue_newIntegerFromInt32(3)});
    EXPECT_EQ(MmsValue_getArraySize(s.get()), 2u);
    EXPECT_NE(MmsValue_getElement(s.get(), 0), nullptr);
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
}

TEST(MmsValueModel, EmptyArraySlotsAreNullAndDeletable) {
    Value a(MmsValue_createEmptyArray(3));
    EXPECT_EQ(MmsValue_getType(a.get()), MMS_ARRAY);
    EXPECT_EQ(MmsValue_getArraySize(a.get()), 3u);
    EXPECT_EQ(MmsValue_getElement(a.get(), 1), nullptr);
    MmsValue_setElement(a.get(), 1, MmsValue_newFloat(1));
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(a.get(), 1)), MMS_FLOAT);
    Value negative(MmsValue_createEmptyStructure(-4));
    EXPECT_EQ(MmsValue_getArraySize(negative.get()), 0u);
}

TEST(MmsValueModel, EqualsComparesTypeAndContentRecursively) {
    Value a = structureOf({MmsValue_newBoolean(true), MmsValue_newVisibleString("x")});
    Value b = structureOf({MmsValue_newBoolean(true), MmsValue_newVisibleString("x")});
    Value c = structureOf({MmsValue_newBoolean(true), MmsValue_newVisibleString("y")});
    Value shorter = structureOf({MmsValue_newBoolean(true)});
    EXPECT_TRUE(MmsValue_equals(a.get(), b.get()));
    EXPECT_FALSE(MmsValue_equals(a.get(), c.get()));
    EXPECT_FALSE(MmsValue_equals(a.get(), shorter.get()));
    EXPECT_TRUE(MmsValue_equalTypes(a.get(), c.get()));
    EXPECT_FALSE(MmsValue_equalTypes(a.get(), shorter.get()));

    Value i32(MmsValue_newIntegerFromInt32(5));
    Value i64(MmsValue_newIntegerFromInt64(5));
    Value u(MmsValue_newUnsignedFromUint32(5));
    EXPECT_TRUE(MmsValue_equals(i32.get(), i64.get())); // the number counts, not its width
    EXPECT_FALSE(MmsValue_equals(i32.get(), u.get()));  // signed and unsigned differ in type

    Value f(MmsValue_newFloat(1.0f));
    Value d(MmsValue_newDouble(1.0));
    EXPECT_FALSE(MmsValue_equals(f.get(), d.get()));
    Value nan1(MmsValue_newFloat(std::nanf("")));
    Value nan2(MmsValue_newFloat(std::nanf("")));
    EXPECT_TRUE(MmsValue_equals(nan1.get(), nan2.get()));

    Value bits1(MmsValue_newBitString(13));
    Value bits2(MmsValue_newBitString(13));
    Value bits3(MmsValue_newBitString(12));
    EXPECT_TRUE(MmsValue_equals(bits1.get(), bits2.get()));
    EXPECT_FALSE(MmsValue_equals(bits1.get(), bits3.get()));
    MmsValue_setBitStringBit(bits2.get(), 12, true);
    EXPECT_FALSE(MmsValue_equals(bits1.get(), bits2.get()));

    EXPECT_FALSE(MmsValue_equals(nullptr, nullptr));
    EXPECT_FALSE(MmsValue_equals(a.get(), nullptr));
}

TEST(MmsValueModel, UtcTimeEqualityIncludesQuality) {
    Value t1(MmsValue_newUtcTimeByMsTime(1700000000123ull));
    Value t2(MmsValue_newUtcTimeByMsTime(1700000000123ull));
    EXPECT_TRUE(MmsValue_equals(t1.get(), t2.get()));
    MmsValue_setUtcTimeQuality(t2.get(), 0x0a);
    EXPECT_FALSE(MmsValue_equals(t1.get(), t2.get()));
}

TEST(MmsValueModel, CloneIsDeepAndIndependent) {
    Value original =
        structureOf({MmsValue_newIntegerFromInt32(1), structureOf({MmsValue_newBoolean(false)}).release()});
    Value copy(MmsValue_clone(original.get()));
    ASSERT_TRUE(MmsValue_equals(original.get(), copy.get()));
    MmsValue* inner = MmsValue_getElement(MmsValue_getElement(copy.get(), 1), 0);
    MmsValue_setBoolean(inner, true);
    EXPECT_FALSE(MmsValue_equals(original.get(), copy.get()));
    EXPECT_NE(MmsValue_getElement(original.get(), 0), MmsValue_getElement(copy.get(), 0));
    EXPECT_EQ(MmsValue_clone(nullptr), nullptr);
}

TEST(MmsValueModel, UpdateCopiesContentOfSameShapeOnly) {
    Value target = structureOf({MmsValue_newIntegerFromInt32(1), MmsValue_newVisibleString("a")});
    Value source = structureOf({MmsValue_newIntegerFromInt32(2), MmsValue_newVisibleString("bcd")});
    MmsValue* firstBefore = MmsValue_getElement(target.get(), 0);
    ASSERT_TRUE(MmsValue_update(target.get(), source.get()));
    EXPECT_TRUE(MmsValue_equals(target.get(), source.get()));
    EXPECT_EQ(MmsValue_getElement(target.get(), 0), firstBefore); // updated in place

    Value other = structureOf({MmsValue_newBoolean(true)});
    EXPECT_FALSE(MmsValue_update(target.get(), other.get()));
    Value b(MmsValue_newBoolean(true));
    Value i(MmsValue_newIntegerFromInt32(0));
    EXPECT_FALSE(MmsValue_update(i.get(), b.get()));

    Value octets(MmsValue_newOctetString(0, 2));
    const uint8_t content[] = {1, 2, 3};
    Value source3(MmsValue_newOctetString(0, 3));
    MmsValue_setOctetString(source3.get(), content, 3);
    EXPECT_TRUE(MmsValue_update(octets.get(), source3.get()));
    EXPECT_EQ(MmsValue_getOctetStringSize(octets.get()), 3);
}

TEST(MmsValueModel, BitStrings) {
    Value bits(MmsValue_newBitString(13));
    EXPECT_EQ(MmsValue_getBitStringSize(bits.get()), 13);
    EXPECT_EQ(MmsValue_getBitStringByteSize(bits.get()), 2);
    MmsValue_setBitStringBit(bits.get(), 0, true);
    MmsValue_setBitStringBit(bits.get(), 11, true);
    MmsValue_setBitStringBit(bits.get(), 13, true); // out of range: ignored
    MmsValue_setBitStringBit(bits.get(), -1, true);
    EXPECT_TRUE(MmsValue_getBitStringBit(bits.get(), 0));
    EXPECT_FALSE(MmsValue_getBitStringBit(bits.get(), 1));
    EXPECT_TRUE(MmsValue_getBitStringBit(bits.get(), 11));
    EXPECT_FALSE(MmsValue_getBitStringBit(bits.get(), 13));
    EXPECT_EQ(MmsValue_getNumberOfSetBits(bits.get()), 2);
    EXPECT_EQ(MmsValue_getBitStringAsInteger(bits.get()), (1u << 0) | (1u << 11));
    // Bit 0 is the most significant of 13 bits in big endian order.
    EXPECT_EQ(MmsValue_getBitStringAsIntegerBigEndian(bits.get()), (1u << 12) | (1u << 1));

    MmsValue_setBitStringFromInteger(bits.get(), 0x5);
    EXPECT_TRUE(MmsValue_getBitStringBit(bits.get(), 0));
    EXPECT_FALSE(MmsValue_getBitStringBit(bits.get(), 1));
    EXPECT_TRUE(MmsValue_getBitStringBit(bits.get(), 2));
    EXPECT_FALSE(MmsValue_getBitStringBit(bits.get(), 11));

    Value dbpos(MmsValue_newBitString(2));
    MmsValue_setBitStringFromIntegerBigEndian(dbpos.get(), 2); // "10": on
    EXPECT_TRUE(MmsValue_getBitStringBit(dbpos.get(), 0));
    EXPECT_FALSE(MmsValue_getBitStringBit(dbpos.get(), 1));
    MmsValue_setAllBitStringBits(dbpos.get());
    EXPECT_EQ(MmsValue_getBitStringAsIntegerBigEndian(dbpos.get()), 3u);
    MmsValue_deleteAllBitStringBits(dbpos.get());
    EXPECT_EQ(MmsValue_getNumberOfSetBits(dbpos.get()), 0);
}

TEST(MmsValueModel, OctetStringsRespectMaximumSize) {
    Value o(MmsValue_newOctetString(2, 4));
    EXPECT_EQ(MmsValue_getOctetStringSize(o.get()), 2);
    EXPECT_EQ(MmsValue_getOctetStringMaxSize(o.get()), 4);
    const uint8_t four[] = {0xde, 0xad, 0xbe, 0xef};
    MmsValue_setOctetString(o.get(), four, 4);
    EXPECT_EQ(MmsValue_getOctetStringSize(o.get()), 4);
    EXPECT_EQ(std::memcmp(MmsValue_getOctetStringBuffer(o.get()), four, 4), 0);
    EXPECT_EQ(MmsValue_getOctetStringOctet(o.get(), 3), 0xef);
    EXPECT_EQ(MmsValue_getOctetStringOctet(o.get(), 4), 0);
    const uint8_t five[] = {1, 2, 3, 4, 5};
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

TEST(MmsValueModel, DefaultValuesFollowTheTypeSpecification) {
    MmsVariableSpecification stVal{};
    stVal.type = MMS_BOOLEAN;
    MmsVariableSpecification q{};
    q.type = MMS_BIT_STRING;
    q.typeSpec.bitString = 13;
    MmsVariableSpecification t{};
    t.type = MMS_UTC_TIME;
    MmsVariableSpecification* elements[] = {&stVal, &q, &t};
    MmsVariableSpecification st{};
    st.type = MMS_STRUCTURE;
    st.typeSpec.structure.elementCount = 3;
    st.typeSpec.structure.elements = elements;

    Value s(MmsValue_newStructure(&st));
    ASSERT_EQ(MmsValue_getArraySize(s.get()), 3u);
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(s.get(), 0)), MMS_BOOLEAN);
    EXPECT_EQ(MmsValue_getBitStringSize(MmsValue_getElement(s.get(), 1)), 13);
    EXPECT_EQ(MmsValue_getType(MmsValue_getElement(s.get(), 2)), MMS_UTC_TIME);

    Value array(MmsValue_createArray(&st, 2));
    ASSERT_EQ(MmsValue_getArraySize(array.get()), 2u);
    EXPECT_TRUE(MmsValue_equals(MmsValue_getElement(array.get(), 0), s.get()));
    EXPECT_EQ(MmsValue_newStructure(&stVal), nullptr);
    EXPECT_EQ(MmsValue_newDefaultValue(nullptr), nullptr);
}

TEST(MmsValueModel, DeleteAcceptsNullAndDeletableFlag) {
    MmsValue_delete(nullptr);
    MmsValue_deleteIfNotNull(nullptr);
    MmsValue* v = MmsValue_newBoolean(true);
    EXPECT_TRUE(MmsValue_isDeletable(v));
    MmsValue_deleteConditional(v);
    EXPECT_FALSE(MmsValue_isDeletable(nullptr));
}
