// The codecs below MMS services: BER, the ISO-on-TCP layers, MMS PDUs and data. Golden bytes other
// implementations read, defaults other servers rely on, boundaries and rejection of malformed
// input; round trips of every service run end to end against the simulated IED (tests/sim).
#include "mms_value.h"
#include "stack/src/ber/Ber.h"
#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/Presentation.h"
#include "stack/src/iso/Session.h"
#include "stack/src/mms/MmsData.h"
#include "stack/src/mms/MmsPdu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace stack::ber;
using namespace stack::iso;
using namespace stack::mms;
using Buf = std::vector<uint8_t>;

// Signed integers are checked through the MMS data encodings (test_mms_codec.cpp).
TEST(Ber, UnsignedLengthsAreMinimalAtEveryBoundary) {
    // n octets carry values below 2^(8n-1); a set top bit needs a leading zero octet.
    const struct {
        uint64_t value;
        size_t octets;
    } cases[] = {
        {0, 1},
        {0x7F, 1},
        {0x80, 2},
        {0x7FFF, 2},
        {0x8000, 3},
        {0xFFFFFFFFu, 5},
        {(uint64_t(1) << 55) - 1, 7},
        {uint64_t(1) << 55, 8},
        {(uint64_t(1) << 63) - 1, 8},
        {uint64_t(1) << 63, 9},
        {UINT64_MAX, 9},
    };
    for (const auto& c : cases) {
        Writer w;
        w.unsignedInteger(0x86, c.value);
        EXPECT_EQ(unsignedLength(c.value), c.octets) << c.value;
        ASSERT_EQ(w.size(), 2 + c.octets) << c.value;
        EXPECT_EQ(w.bytes()[1], c.octets);
        EXPECT_EQ(w.bytes()[2] & 0x80, 0) << c.value;
        Tlv t;
        ASSERT_TRUE(decodeSingle(w.bytes().data(), w.size(), t));
        uint64_t back = 0;
        ASSERT_TRUE(decodeUint64(t, back));
        EXPECT_EQ(back, c.value);
    }
}

// Lengths on both sides of each form boundary, written directly and patched into nested
// constructions: short form up to 127, then 0x81 nn, then 0x82 nn nn.
TEST(Ber, NestedLengthsArePatchedAcrossTheLongForm) {
    for (size_t length : {size_t(127), size_t(128), size_t(255), size_t(256), size_t(300)}) {
        SCOPED_TRACE(length);
        Writer w;
        size_t outer = w.open(0x61);
        size_t inner = w.open(0xA2);
        std::vector<uint8_t> payload(length, 0xAB);
        w.primitive(0x84, payload.data(), payload.size());
        w.close(inner);
        w.close(outer);
        Reader r(w.bytes().data(), w.size());
        Tlv a;
        ASSERT_TRUE(r.next(a));
        EXPECT_TRUE(r.atEnd());
        EXPECT_TRUE(a.is(Application, true, 1));
        Reader ra(a);
        Tlv b;
        ASSERT_TRUE(ra.next(b));
        EXPECT_TRUE(b.is(Context, true, 2));
        Tlv c;
        Reader rb(b);
        ASSERT_TRUE(rb.next(c));
        EXPECT_EQ(c.length, length);
        EXPECT_EQ(c.headerLength, length < 128 ? 2u : length < 256 ? 3u : 4u); // 300: 0x84 0x82 0x01 0x2C
    }
}

// Peers may send tag numbers above 30 (nothing we write uses them).
TEST(Ber, HighTagNumbersDecode) {
    const uint8_t bytes[] = {0x9F, 0x4F, 0x00};
    Tlv t;
    ASSERT_TRUE(decodeSingle(bytes, sizeof bytes, t));
    EXPECT_EQ(t.tagNumber, 79u);
}

TEST(Ber, MalformedInputIsRejectedWithoutReadingPastTheEnd) {
    const std::vector<std::vector<uint8_t>> bad = {
        {},                                               // nothing
        {0x80},                                           // no length
        {0x80, 0x02, 0x01},                               // length beyond end
        {0x80, 0x80},                                     // indefinite length
        {0x80, 0x85, 1, 2, 3, 4, 5},                      // five length octets
        {0x9F, 0x81},                                     // high tag number cut short
        {0x9F, 0x81, 0x81, 0x81, 0x81, 0x81, 0x01, 0x00}, // tag number beyond 32 bits
    };
    for (const auto& b : bad) {
        // Copy into an exactly sized heap buffer so that ASan sees any overread.
        auto* copy = new uint8_t[b.size() + 1];
        std::copy(b.begin(), b.end(), copy);
        Reader r(copy, b.size());
        Tlv t;
        EXPECT_FALSE(r.next(t));
        delete[] copy;
    }
    // A TLV whose length exactly fills the buffer is valid.
    std::vector<uint8_t> exact = {0x04, 0x02, 0xAA, 0xBB};
    Tlv t;
    EXPECT_TRUE(decodeSingle(exact.data(), exact.size(), t));
}

TEST(Ber, BitStringCarriesUnusedBitCountAndClearsPadding) {
    Writer w;
    const uint8_t bits[] = {0xFF, 0xFF};
    w.bitString(0x84, bits, 13);
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{0x84, 3, 3, 0xFF, 0xF8}));
}

// Every layer's round trip runs in each connection of the client and server tests; here the
// bytes other implementations read.
TEST(IsoLayers, GoldenBytes) {
    Buf cr, dt, dr, cn, ud, aarq;
    appendConnectRequest(cr, 0x0001, 13, {0x00, 0x01}, {0x00, 0x01});
    EXPECT_EQ(cr, Buf({0x03, 0x00, 0x00, 0x16, 0x11, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00,
                       0xC1, 0x02, 0x00, 0x01, 0xC2, 0x02, 0x00, 0x01, 0xC0, 0x01, 0x0D}));
    EXPECT_EQ(tpktLength(cr.data()), cr.size());
    appendDataHeader(dt, 5, true);
    EXPECT_EQ(dt, Buf({0x03, 0x00, 0x00, 0x0C, 0x02, 0xF0, 0x80}));
    appendDisconnectRequest(dr, 1, 2, 0);
    EXPECT_EQ(dr, Buf({0x03, 0x00, 0x00, 0x0B, 0x06, 0x80, 0x00, 0x01, 0x00, 0x02, 0x00}));
    const uint8_t user[] = {0xAA, 0xBB};
    appendConnectSpdu(cn, user, sizeof user);
    EXPECT_EQ(cn, Buf({0x0D, 0x18, 0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, 0x14, 0x02, 0x00,
                       0x02, 0x33, 0x02, 0x00, 0x01, 0x34, 0x02, 0x00, 0x01, 0xC1, 0x02, 0xAA, 0xBB}));
    appendUserData(ud, 3, user, 1);
    EXPECT_EQ(ud, Buf({0x61, 0x08, 0x30, 0x06, 0x02, 0x01, 0x03, 0xA0, 0x01, 0xAA}));
    // AARQ: application context 1.0.9506.2.3 and the MMS PDU in an EXTERNAL of context 3.
    const uint8_t initiate[] = {0xA8, 0x00};
    appendAarq(aarq, kMmsContextId, initiate, sizeof(initiate));
    EXPECT_EQ(aarq, Buf({0x60, 0x14, 0xA1, 0x07, 0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, 0x03,
                         0xBE, 0x09, 0x28, 0x07, 0x02, 0x01, 0x03, 0xA0, 0x02, 0xA8, 0x00}));

    // Long session user data (an AARE with many contexts) uses the three-octet length form.
    Buf big(300, 0x11), ac;
    appendAcceptSpdu(ac, big.data(), big.size());
    EXPECT_EQ(ac[1], 0xFF);
    Spdu s;
    ASSERT_TRUE(decodeSpdu(ac.data(), ac.size(), s));
    EXPECT_EQ(s.type, SpduAccept);
    EXPECT_EQ(s.userDataLength, 300u);
}

TEST(IsoAcse, ObjectIdentifierTexts) {
    const struct {
        const char* text;
        bool ok;
        Buf bytes;
    } cases[] = {
        {"1.1.1.999.1", true, {0x29, 0x01, 0x87, 0x67, 0x01}},
        {"2.2.3.1", true, {0x52, 0x03, 0x01}},
        {"2.999.3", true, {0x88, 0x37, 0x03}},
        {"1.0.9506.2.3", true, {0x28, 0xCA, 0x22, 0x02, 0x03}},
        {"1", false, {}},
        {"3.1", false, {}},
        {"1.40", false, {}},
        {"1..2", false, {}},
        {"1.2.", false, {}},
        {"1.a", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        Buf out;
        EXPECT_EQ(encodeObjectIdentifier(c.text, out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(out, c.bytes) << c.text;
        }
    }
}

TEST(IsoAcse, PasswordAndApTitlesInTheAarq) {
    const uint8_t initiate[] = {0xA8, 0x00};
    AssociationParams params;
    ASSERT_TRUE(encodeObjectIdentifier("1.1.1.999.1", params.remote.apTitle));
    params.remote.aeQualifier = 12;
    params.hasPassword = true;
    params.password = "top secret";
    Buf aarq;
    appendAarq(aarq, kMmsContextId, initiate, sizeof(initiate), params);
    // Called AP title [2] and AE qualifier [3] follow the application context; the password's
    // round trip runs end to end (test_client_programs.cpp).
    const Buf title = {0xA2, 0x07, 0x06, 0x05, 0x29, 0x01, 0x87, 0x67, 0x01, 0xA3, 0x03, 0x02, 0x01, 0x0C};
    EXPECT_NE(std::search(aarq.begin(), aarq.end(), title.begin(), title.end()), aarq.end());
    // A rejection names the reason.
    Buf aare;
    appendAare(aare, false, 3, nullptr, 0, kAcseDiagnosticAuthenticationFailure);
    const Buf diagnostic = {0xA3, 0x05, 0xA1, 0x03, 0x02, 0x01, 0x0D};
    EXPECT_NE(std::search(aare.begin(), aare.end(), diagnostic.begin(), diagnostic.end()), aare.end());
}

// Malformed input of every layer is rejected by its decoder.
TEST(IsoLayers, MalformedInputIsRejected) {
    CotpTpdu cotp;
    Spdu spdu;
    CpInfo info;
    int ctx;
    bool accepted;
    Bytes v;
    const std::function<bool(const Buf&)> decoder[] = {
        [](const Buf& b) { return tpktLength(b.data()) != 0; },
        [&](const Buf& b) { return decodeCotp(b.data(), b.size(), cotp); },
        [&](const Buf& b) { return decodeSpdu(b.data(), b.size(), spdu); },
        [&](const Buf& b) { return decodeCpType(b.data(), b.size(), info); },
        [&](const Buf& b) { return decodeUserData(b.data(), b.size(), ctx, v); },
        [&](const Buf& b) { return decodeAare(b.data(), b.size(), accepted, v); },
    };
    enum { Tpkt, Cotp, Session, Cp, UserData, Aare };
    const struct {
        int layer;
        Buf bytes;
        const char* what;
    } cases[] = {
        {Tpkt, {0x02, 0x00, 0x00, 0x10}, "TPKT version"},
        {Tpkt, {0x03, 0x00, 0x00, 0x04}, "TPKT too short"},
        {Cotp, {0x20, 0xE0, 0x00}, "length indicator beyond the end"},
        {Cotp, {0x03, 0xF0, 0x80, 0x00}, "DT with a wrong length indicator"},
        {Cotp, {0x08, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x05}, "parameter overrun"},
        {Cotp, {0x02, 0x10, 0x00}, "unknown TPDU"},
        {Cotp, {}, "nothing"},
        {Session, {0x0D, 0x10, 0x05}, "SPDU cut short"},
        {Session, {0x0D, 0x03, 0xC1, 0x05, 0x00}, "parameter beyond the SPDU"},
        {Session, {0x33, 0x00}, "unknown SPDU"},
        {Session, {0x01, 0x00, 0x05, 0x00}, "give tokens without data transfer"},
        {Session, {0x0E, 0xFF, 0x01}, "long length cut short"},
        {Cp, {0x30, 0x00}, "CP not a set"},
        {Cp, {0x31, 0x00}, "empty CP"},
        {Cp, {0x31, 0x10, 0xA0, 0x03}, "CP cut short"},
        {UserData, {0x61, 0x07, 0x30, 0x05, 0x02, 0x01, 0x03, 0x81, 0x00}, "octet-aligned user data"},
        {Aare, {0x61, 0x00}, "AARE without a result"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(decoder[c.layer](c.bytes)) << c.what;
    // A CP without the MMS abstract syntax cannot be served.
    const uint8_t init[] = {0xA8, 0x00};
    Buf aarq, cp;
    appendAarq(aarq, 1, init, 2);
    appendCpType(cp, aarq.data(), aarq.size());
    for (size_t i = 0; i + 4 < cp.size(); ++i)
        if (cp[i] == 0x28 && cp[i + 1] == 0xCA && cp[i + 4] == 0x01)
            cp[i + 4] = 0x07; // corrupt 1.0.9506.2.1
    EXPECT_FALSE(decodeCpType(cp.data(), cp.size(), info));
}

namespace {

Buf encoded(const MmsValue* v) {
    Writer w;
    encodeData(w, v);
    return w.bytes();
}

MmsValue* roundTrip(const MmsValue* v) {
    Buf b = encoded(v);
    Tlv t;
    if (!decodeSingle(b.data(), b.size(), t))
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
    ASSERT_TRUE(decodeSingle(service, sizeof(service), t));
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
    ASSERT_TRUE(decodeSingle(deep.data(), deep.size(), t));
    EXPECT_EQ(decodeData(t), nullptr);

    // Wrong primitive sizes, an integer wider than 64 bits, a structure with one bad member
    // (refused as a whole, no leak under ASan).
    for (const Buf& bad :
         {Buf{0x87, 0x02, 0x08, 0x00}, Buf{0x91, 0x02, 0x00, 0x00}, Buf{0x84, 0x01, 0x08},
          Buf{0x85, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9}, Buf{0xA2, 0x05, 0x83, 0x01, 0x00, 0x91, 0x00}}) {
        ASSERT_TRUE(decodeSingle(bad.data(), bad.size(), t));
        EXPECT_EQ(decodeData(t), nullptr) << int(bad[0]);
    }
}
