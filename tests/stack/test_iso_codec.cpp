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

TEST(IsoCotp, ConnectRequestGoldenBufAndRoundTrip) {
    Buf out;
    appendConnectRequest(out, 0x0001, 13, {0x00, 0x01}, {0x00, 0x01});
    Buf expected = {0x03, 0x00, 0x00, 0x16, 0x11, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00,
                    0xC1, 0x02, 0x00, 0x01, 0xC2, 0x02, 0x00, 0x01, 0xC0, 0x01, 0x0D};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(tpktLength(out.data()), out.size());
    CotpTpdu t;
    ASSERT_TRUE(decodeCotp(out.data() + 4, out.size() - 4, t));
    EXPECT_EQ(t.code, CotpCR);
    EXPECT_EQ(t.srcRef, 1);
    EXPECT_EQ(t.tpduSizeCode, 13);
    EXPECT_EQ(t.callingTsel, Buf({0x00, 0x01}));
    EXPECT_EQ(t.calledTsel, Buf({0x00, 0x01}));

    out.clear();
    appendConnectConfirm(out, 0x1234, 0x0001, 10, {}, {});
    ASSERT_TRUE(decodeCotp(out.data() + 4, out.size() - 4, t));
    EXPECT_EQ(t.code, CotpCC);
    EXPECT_EQ(t.dstRef, 0x1234);
    EXPECT_EQ(t.tpduSizeCode, 10);
}

TEST(IsoCotp, DataAndDisconnectGoldenBuf) {
    Buf out;
    appendDataHeader(out, 5, true);
    EXPECT_EQ(out, Buf({0x03, 0x00, 0x00, 0x0C, 0x02, 0xF0, 0x80}));
    out.clear();
    appendDataHeader(out, 1, false);
    out.push_back(0x55);
    CotpTpdu t;
    ASSERT_TRUE(decodeCotp(out.data() + 4, out.size() - 4, t));
    EXPECT_EQ(t.code, CotpDT);
    EXPECT_FALSE(t.eot);
    ASSERT_EQ(t.dataLength, 1u);
    EXPECT_EQ(t.data[0], 0x55);
    out.clear();
    appendDisconnectRequest(out, 1, 2, 0);
    EXPECT_EQ(out, Buf({0x03, 0x00, 0x00, 0x0B, 0x06, 0x80, 0x00, 0x01, 0x00, 0x02, 0x00}));
}

TEST(IsoSession, ConnectAcceptAndDataUnits) {
    Buf user = {0xAA, 0xBB};
    Buf cn;
    appendConnectSpdu(cn, user.data(), user.size());
    Buf expected = {0x0D, 0x18, 0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, 0x14, 0x02, 0x00,
                    0x02, 0x33, 0x02, 0x00, 0x01, 0x34, 0x02, 0x00, 0x01, 0xC1, 0x02, 0xAA, 0xBB};
    EXPECT_EQ(cn, expected);
    Spdu s;
    ASSERT_TRUE(decodeSpdu(cn.data(), cn.size(), s));
    EXPECT_EQ(s.type, SpduConnect);
    ASSERT_EQ(s.userDataLength, 2u);
    EXPECT_EQ(s.userData[1], 0xBB);

    // Long user data uses the three-octet length form.
    Buf big(300, 0x11);
    Buf ac;
    appendAcceptSpdu(ac, big.data(), big.size());
    EXPECT_EQ(ac[1], 0xFF);
    ASSERT_TRUE(decodeSpdu(ac.data(), ac.size(), s));
    EXPECT_EQ(s.type, SpduAccept);
    EXPECT_EQ(s.userDataLength, 300u);

    Buf dt(kDataSpduHeader, kDataSpduHeader + 4);
    dt.push_back(0x61);
    ASSERT_TRUE(decodeSpdu(dt.data(), dt.size(), s));
    EXPECT_EQ(s.type, SpduDataTransfer);
    EXPECT_EQ(s.userDataLength, 1u);

    Buf ab;
    appendAbortSpdu(ab);
    ASSERT_TRUE(decodeSpdu(ab.data(), ab.size(), s));
    EXPECT_EQ(s.type, SpduAbort);
}

TEST(IsoPresentation, UserDataGoldenBytesAndRoundTrip) {
    Buf out;
    const uint8_t data[] = {0xAB};
    appendUserData(out, 3, data, 1);
    EXPECT_EQ(out, Buf({0x61, 0x08, 0x30, 0x06, 0x02, 0x01, 0x03, 0xA0, 0x01, 0xAB}));
    int ctx = 0;
    stack::iso::Bytes view;
    ASSERT_TRUE(decodeUserData(out.data(), out.size(), ctx, view));
    EXPECT_EQ(ctx, 3);
    ASSERT_EQ(view.length, 1u);
    EXPECT_EQ(view.data[0], 0xAB);

    // The header alone is what appendUserData puts before the data, also for long data.
    Buf big(70000, 0x5A), a, b;
    appendUserData(a, 3, big.data(), big.size());
    appendUserDataHeader(b, 3, big.size());
    b.insert(b.end(), big.begin(), big.end());
    EXPECT_EQ(a, b);
    ASSERT_TRUE(decodeUserData(a.data(), a.size(), ctx, view));
    EXPECT_EQ(view.length, big.size());
}

TEST(IsoPresentation, ConnectPpduCarriesAarqAndNegotiatesContexts) {
    const uint8_t initiate[] = {0xA8, 0x00};
    Buf aarq, cp;
    appendAarq(aarq, kMmsContextId, initiate, sizeof(initiate));
    // AARQ: application context 1.0.9506.2.3 and the MMS PDU in an EXTERNAL of context 3.
    Buf expectedAarq = {0x60, 0x14, 0xA1, 0x07, 0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, 0x03,
                        0xBE, 0x09, 0x28, 0x07, 0x02, 0x01, 0x03, 0xA0, 0x02, 0xA8, 0x00};
    EXPECT_EQ(aarq, expectedAarq);
    appendCpType(cp, aarq.data(), aarq.size());
    CpInfo info;
    ASSERT_TRUE(decodeCpType(cp.data(), cp.size(), info));
    EXPECT_EQ(info.acseContextId, 1);
    EXPECT_EQ(info.mmsContextId, 3);
    ASSERT_EQ(info.contexts.size(), 2u);
    stack::iso::Bytes mms;
    ASSERT_TRUE(decodeAarq(info.userData.data, info.userData.length, mms));
    EXPECT_EQ(Buf(mms.data, mms.data + mms.length), Buf(initiate, initiate + 2));

    const uint8_t response[] = {0xA9, 0x00};
    Buf aare, cpa;
    appendAare(aare, true, info.mmsContextId, response, sizeof(response));
    appendCpaPpdu(cpa, info, aare.data(), aare.size());
    stack::iso::Bytes aareView;
    ASSERT_TRUE(decodeCpaPpdu(cpa.data(), cpa.size(), aareView));
    bool accepted = false;
    ASSERT_TRUE(decodeAare(aareView.data, aareView.length, accepted, mms));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(Buf(mms.data, mms.data + mms.length), Buf(response, response + 2));

    aare.clear();
    appendAare(aare, false, 3, nullptr, 0);
    ASSERT_TRUE(decodeAare(aare.data(), aare.size(), accepted, mms));
    EXPECT_FALSE(accepted);

    Buf rl;
    appendRlrq(rl);
    EXPECT_EQ(acseApduType(rl.data(), rl.size()), AcseApdu::Rlrq);
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
