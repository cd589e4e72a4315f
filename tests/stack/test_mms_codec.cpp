// MMS PDU and data codecs: golden bytes, defaults other servers rely on, hostile input. Round trips
// of every service run end to end against the simulated IED (tests/sim).
#include "mms_value.h"
#include "stack/src/mms/MmsData.h"
#include "stack/src/mms/MmsPdu.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace stack::mms;
using stack::ber::Tlv;
using stack::ber::Writer;
using Buf = std::vector<uint8_t>;

namespace {

Buf encoded(const MmsValue* v) {
    Writer w;
    encodeData(w, v);
    return w.bytes();
}

MmsValue* roundTrip(const MmsValue* v) {
    Buf b = encoded(v);
    Tlv t;
    if (!stack::ber::decodeSingle(b.data(), b.size(), t))
        return nullptr;
    return decodeData(t);
}

} // namespace

TEST(MmsCodec, GetNameListRequestGoldenBytes) {
    Writer w;
    encodeGetNameListRequest(w, 1, static_cast<int>(ObjectClass::Domain), "", nullptr);
    EXPECT_EQ(w.bytes(), Buf({0xA0, 0x0E, 0x02, 0x01, 0x01, 0xA1, 0x09, 0xA0, 0x03, 0x80, 0x01, 0x09, 0xA1,
                              0x02, 0x80, 0x00}));
    Pdu pdu;
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    EXPECT_EQ(pdu.kind, PduKind::ConfirmedRequest);
    EXPECT_EQ(pdu.invokeId, 1u);
    NameListRequest req;
    ASSERT_TRUE(decodeGetNameListRequest(pdu.service, req));
    EXPECT_EQ(req.objectClass, 9);
    EXPECT_EQ(req.scope, ObjectName::Scope::Vmd);
}

TEST(MmsCodec, GetNameListResponseDefaultsMoreFollowsToTrue) {
    Writer w;
    std::vector<std::string> names = {"a", "b", "c"};
    encodeGetNameListResponse(w, 3, names, 1, 2, false);
    Pdu pdu;
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    std::vector<std::string> out;
    bool more = true;
    ASSERT_TRUE(decodeGetNameListResponse(pdu.service, out, more));
    EXPECT_EQ(out, std::vector<std::string>({"b", "c"}));
    EXPECT_FALSE(more);
    // Without the moreFollows element the ASN.1 default (true) applies.
    const uint8_t service[] = {0xA1, 0x05, 0xA0, 0x03, 0x1A, 0x01, 0x78};
    Tlv t;
    ASSERT_TRUE(stack::ber::decodeSingle(service, sizeof(service), t));
    out.clear();
    ASSERT_TRUE(decodeGetNameListResponse(t, out, more));
    EXPECT_TRUE(more);
    EXPECT_EQ(out, std::vector<std::string>({"x"}));
}

TEST(MmsCodec, ReadRequestGoldenBytesAndRoundTrip) {
    VariableAccess a;
    a.variables.emplace_back("LD0", "LLN0$ST$Mod$stVal");
    Writer w;
    encodeReadRequest(w, 2, a);
    Buf expected = {0xA0, 0x27, 0x02, 0x01, 0x02, 0xA4, 0x22, 0xA1, 0x20, 0xA0, 0x1E, 0x30,
                    0x1C, 0xA0, 0x1A, 0xA1, 0x18, 0x1A, 0x03, 'L',  'D',  '0',  0x1A, 0x11};
    for (char c : std::string("LLN0$ST$Mod$stVal"))
        expected.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(w.bytes(), expected);
    Pdu pdu;
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    VariableAccess back;
    ASSERT_TRUE(decodeReadRequest(pdu.service, back));
    ASSERT_EQ(back.variables.size(), 1u);
    EXPECT_EQ(back.variables[0], a.variables[0]);
}

// Golden encodings; every kind's round trip runs in the GOOSE codec test (one data codec).
TEST(MmsCodec, DataGoldenEncodings) {
    const struct {
        std::function<MmsValue*()> make;
        Buf bytes;
    } cases[] = {
        {[] { return MmsValue_newBoolean(true); }, {0x83, 0x01, 0xFF}},
        // Integers in the fewest two's complement octets.
        {[] { return MmsValue_newIntegerFromInt32(0); }, {0x85, 0x01, 0x00}},
        {[] { return MmsValue_newIntegerFromInt32(127); }, {0x85, 0x01, 0x7F}},
        {[] { return MmsValue_newIntegerFromInt32(128); }, {0x85, 0x02, 0x00, 0x80}},
        {[] { return MmsValue_newIntegerFromInt32(-5); }, {0x85, 0x01, 0xFB}},
        {[] { return MmsValue_newIntegerFromInt32(-129); }, {0x85, 0x02, 0xFF, 0x7F}},
        {[] { return MmsValue_newIntegerFromInt64(INT64_MAX); },
         {0x85, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {[] { return MmsValue_newUnsignedFromUint32(200); }, {0x86, 0x02, 0x00, 0xC8}},
        {[] { return MmsValue_newFloat(1.5f); }, {0x87, 0x05, 0x08, 0x3F, 0xC0, 0x00, 0x00}},
        {[] {
             MmsValue* v = MmsValue_newBitString(13);
             MmsValue_setBitStringBit(v, 12, true);
             return v;
         },
         {0x84, 0x03, 0x03, 0x00, 0x08}},
        {[] { return MmsValue_newVisibleString("ab"); }, {0x8A, 0x02, 'a', 'b'}},
        {[] {
             MmsValue* v = MmsValue_createEmptyStructure(1);
             MmsValue_setElement(v, 0, MmsValue_newBoolean(false));
             return v;
         },
         {0xA2, 0x03, 0x83, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        MmsValue* v = c.make();
        EXPECT_EQ(encoded(v), c.bytes) << MmsValue_getTypeString(v);
        MmsValue* back = roundTrip(v);
        EXPECT_TRUE(MmsValue_equals(back, v)) << MmsValue_getTypeString(v);
        MmsValue_deleteIfNotNull(back);
        MmsValue_delete(v);
    }
}

TEST(MmsCodec, ErrorsAndRejectsMapToMmsErrors) {
    Writer w;
    encodeConfirmedError(w, 4, ErrorClassAccess, 2);
    EXPECT_EQ(w.bytes(), Buf({0xA2, 0x0A, 0x80, 0x01, 0x04, 0xA2, 0x05, 0xA0, 0x03, 0x87, 0x01, 0x02}));
    Pdu pdu;
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    EXPECT_EQ(pdu.kind, PduKind::ConfirmedError);
    EXPECT_EQ(pdu.invokeId, 4u);
    EXPECT_EQ(decodeConfirmedError(pdu), MMS_ERROR_ACCESS_OBJECT_NON_EXISTENT);
    w.clear();
    encodeConfirmedError(w, 4, ErrorClassDefinition, 1);
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    EXPECT_EQ(decodeConfirmedError(pdu), MMS_ERROR_DEFINITION_OBJECT_UNDEFINED);
    w.clear();
    encodeReject(w, true, 9, 1, 1);
    ASSERT_TRUE(parsePdu(w.bytes().data(), w.size(), pdu));
    EXPECT_EQ(pdu.kind, PduKind::Reject);
    EXPECT_EQ(pdu.invokeId, 9u);
    EXPECT_EQ(decodeReject(pdu), MMS_ERROR_REJECT_UNRECOGNIZED_SERVICE);
}

TEST(MmsCodec, HostileInputIsRejectedWithoutCrashing) {
    Pdu pdu;
    const uint8_t garbage[] = {0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(parsePdu(garbage, sizeof(garbage), pdu));
    const uint8_t truncated[] = {0xA0, 0x10, 0x02, 0x01};
    EXPECT_FALSE(parsePdu(truncated, sizeof(truncated), pdu));
    const uint8_t noService[] = {0xA0, 0x03, 0x02, 0x01, 0x01};
    EXPECT_FALSE(parsePdu(noService, sizeof(noService), pdu));
    EXPECT_FALSE(parsePdu(nullptr, 0, pdu));

    // Deep nesting is refused instead of recursing without bound.
    Buf deep;
    const int depth = 200;
    for (int i = 0; i < depth; ++i) {
        deep.insert(deep.begin(), static_cast<uint8_t>(deep.size() < 128 ? deep.size() : 0));
        deep.insert(deep.begin(), 0xA2);
        if (deep.size() > 120)
            break;
    }
    Tlv t;
    ASSERT_TRUE(stack::ber::decodeSingle(deep.data(), deep.size(), t));
    EXPECT_EQ(decodeData(t), nullptr);

    // Wrong primitive sizes, an integer wider than 64 bits, a structure with one bad member
    // (refused as a whole, no leak under ASan).
    for (const Buf& bad :
         {Buf{0x87, 0x02, 0x08, 0x00}, Buf{0x91, 0x02, 0x00, 0x00}, Buf{0x84, 0x01, 0x08},
          Buf{0x85, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9}, Buf{0xA2, 0x05, 0x83, 0x01, 0x00, 0x91, 0x00}}) {
        ASSERT_TRUE(stack::ber::decodeSingle(bad.data(), bad.size(), t));
        EXPECT_EQ(decodeData(t), nullptr) << int(bad[0]);
    }
}
