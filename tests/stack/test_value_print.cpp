#include "mms_value.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct ValueDeleter {
    void operator()(MmsValue* v) const { MmsValue_delete(v); }
};
using Value = std::unique_ptr<MmsValue, ValueDeleter>;

std::string print(const MmsValue* v, int size = 256) {
    std::string buffer(static_cast<std::size_t>(size), 'X');
    const char* result = MmsValue_printToBuffer(v, buffer.data(), size);
    EXPECT_EQ(result, buffer.data());
    return std::string(result);
}

} // namespace

TEST(MmsValuePrint, BasicTypes) {
    Value t(MmsValue_newBoolean(true));
    Value f(MmsValue_newBoolean(false));
    EXPECT_EQ(print(t.get()), "true");
    EXPECT_EQ(print(f.get()), "false");
    Value i(MmsValue_newIntegerFromInt32(-17));
    EXPECT_EQ(print(i.get()), "-17");
    Value u(MmsValue_newUnsignedFromUint32(4000000000u));
    EXPECT_EQ(print(u.get()), "4000000000");
    Value fl(MmsValue_newFloat(1.5f));
    EXPECT_EQ(print(fl.get()), "1.500000");
    Value s(MmsValue_newVisibleString("GoID"));
    EXPECT_EQ(print(s.get()), "GoID");
    Value o(MmsValue_newOctetString(0, 3));
    const uint8_t bytes[] = {0x01, 0xab, 0xff};
    MmsValue_setOctetString(o.get(), bytes, 3);
    EXPECT_EQ(print(o.get()), "01abff");
    Value e(MmsValue_newDataAccessError(DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED));
    EXPECT_EQ(print(e.get()), "error 3");
    EXPECT_EQ(print(nullptr), "NULL");
}

TEST(MmsValuePrint, BitStringsAsBitCharactersInWireOrder) {
    Value q(MmsValue_newBitString(13));
    MmsValue_setBitStringBit(q.get(), 1, true);
    MmsValue_setBitStringBit(q.get(), 12, true);
    EXPECT_EQ(print(q.get()), "0100000000001");
}

TEST(MmsValuePrint, StructuresAndArraysInBraces) {
    Value inner(MmsValue_createEmptyStructure(2));
    MmsValue_setElement(inner.get(), 0, MmsValue_newBoolean(true));
    MmsValue_setElement(inner.get(), 1, MmsValue_newIntegerFromInt32(2));
    Value outer(MmsValue_createEmptyArray(3));
    MmsValue_setElement(outer.get(), 0, inner.release());
    MmsValue_setElement(outer.get(), 1, MmsValue_newVisibleString("x"));
    EXPECT_EQ(print(outer.get()), "{{true,2},x,NULL}");
    Value empty(MmsValue_createEmptyStructure(0));
    EXPECT_EQ(print(empty.get()), "{}");
}

TEST(MmsValuePrint, TimesInUtc) {
    Value t(MmsValue_newUtcTimeByMsTime(1700000000123ull)); // 2023-11-14 22:13:20.123 UTC
    EXPECT_EQ(print(t.get()), "20231114221320.123Z");
    Value b(MmsValue_newBinaryTime(false));
    MmsValue_setBinaryTime(b.get(), 1700000000123ull);
    EXPECT_EQ(print(b.get()), "20231114221320.123Z");
    Value tod(MmsValue_newBinaryTime(true));
    MmsValue_setBinaryTime(tod.get(), 1700000000123ull);
    EXPECT_EQ(print(tod.get()), "22:13:20.123");
}

TEST(MmsValuePrint, TruncatesToBufferAndAlwaysTerminates) {
    Value s(MmsValue_newVisibleString("abcdefgh"));
    EXPECT_EQ(print(s.get(), 4), "abc");
    EXPECT_EQ(print(s.get(), 1), "");
    char untouched = 'Z';
    EXPECT_EQ(MmsValue_printToBuffer(s.get(), &untouched, 0), &untouched);
    EXPECT_EQ(untouched, 'Z');
    EXPECT_EQ(MmsValue_printToBuffer(s.get(), nullptr, 10), nullptr);
}

TEST(MmsValuePrint, TypeStrings) {
    Value b(MmsValue_newBoolean(true));
    Value s(MmsValue_createEmptyStructure(1));
    Value bits(MmsValue_newBitString(2));
    Value t(MmsValue_newUtcTime(0));
    Value e(MmsValue_newDataAccessError(DATA_ACCESS_ERROR_UNKNOWN));
    EXPECT_STREQ(MmsValue_getTypeString(b.get()), "boolean");
    EXPECT_STREQ(MmsValue_getTypeString(s.get()), "structure");
    EXPECT_STREQ(MmsValue_getTypeString(bits.get()), "bit-string");
    EXPECT_STREQ(MmsValue_getTypeString(t.get()), "utc-time");
    EXPECT_STREQ(MmsValue_getTypeString(e.get()), "access-error");
    EXPECT_STREQ(MmsValue_getTypeString(nullptr), "unknown(error)");
}
