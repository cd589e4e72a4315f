// ISO-on-TCP layer codecs: golden byte vectors and rejection of malformed input.
#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/Presentation.h"
#include "stack/src/iso/Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace stack::iso;
using Buf = std::vector<uint8_t>;

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
        EXPECT_EQ(stack::iso::encodeObjectIdentifier(c.text, out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(out, c.bytes) << c.text;
        }
    }
}

TEST(IsoAcse, PasswordAndApTitlesInTheAarq) {
    const uint8_t initiate[] = {0xA8, 0x00};
    stack::iso::AssociationParams params;
    ASSERT_TRUE(stack::iso::encodeObjectIdentifier("1.1.1.999.1", params.remote.apTitle));
    params.remote.aeQualifier = 12;
    params.hasPassword = true;
    params.password = "top secret";
    Buf aarq;
    appendAarq(aarq, kMmsContextId, initiate, sizeof(initiate), params);
    stack::iso::Bytes mms;
    stack::iso::Authentication auth;
    ASSERT_TRUE(decodeAarq(aarq.data(), aarq.size(), mms, auth));
    EXPECT_TRUE(auth.present);
    EXPECT_TRUE(auth.password);
    EXPECT_EQ(auth.value, "top secret");
    EXPECT_EQ(Buf(mms.data, mms.data + mms.length), Buf(initiate, initiate + 2));
    // Called AP title [2] and AE qualifier [3] follow the application context.
    const Buf title = {0xA2, 0x07, 0x06, 0x05, 0x29, 0x01, 0x87, 0x67, 0x01, 0xA3, 0x03, 0x02, 0x01, 0x0C};
    EXPECT_NE(std::search(aarq.begin(), aarq.end(), title.begin(), title.end()), aarq.end());
    // Without a password nothing is asked for.
    Buf plain;
    appendAarq(plain, kMmsContextId, initiate, sizeof(initiate));
    ASSERT_TRUE(decodeAarq(plain.data(), plain.size(), mms, auth));
    EXPECT_FALSE(auth.present);
    // A rejection names the reason.
    Buf aare;
    appendAare(aare, false, 3, nullptr, 0, stack::iso::kAcseDiagnosticAuthenticationFailure);
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
    stack::iso::Bytes v;
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
