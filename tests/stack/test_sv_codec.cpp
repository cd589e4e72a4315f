// Sampled Values frames without a network: golden BER, accessors, tshark's view, hostile input
// and subscriber matching through SVReceiver_handleMessage.
#include "stack/src/sv/SvFrame.h"
#include "sv_publisher.h"
#include "sv_subscriber.h"
#include "support/Tshark.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using iecx::test::fromHex;
using namespace stack::sv;

namespace {

const char* kGolden = "010CCD040001 001122334455 88BA 4000 002E 0000 0000"
                      "6024 800101 A21F 301D 8004 4D553031 82020102 830400000001 850102"
                      "8708 000003E8 00000000";

SvFrameParams goldenParams() {
    SvFrameParams p;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    const uint8_t src[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    memcpy(p.link.dst, dst, 6);
    memcpy(p.link.src, src, 6);
    p.link.appId = 0x4000;
    SvAsduParams a;
    a.svId = "MU01";
    a.smpCnt = 0x0102;
    a.confRev = 1;
    a.smpSynch = 2;
    a.data = fromHex("000003E8 00000000");
    p.asdus.push_back(a);
    return p;
}

// A 9-2 style stream frame: 8 channels of INT32 + quality, n ASDUs, all optional fields.
SvFrameParams fullParams(int asdus, uint16_t firstCount) {
    SvFrameParams p = goldenParams();
    p.link.vlan = true;
    p.link.vlanId = 5;
    p.link.vlanPriority = 4;
    p.asdus.clear();
    for (int i = 0; i < asdus; ++i) {
        SvAsduParams a;
        a.svId = "MU01SV";
        a.hasDatSet = true;
        a.datSet = "MU01LD0/LLN0$PhsMeas1";
        a.smpCnt = static_cast<uint16_t>(firstCount + i);
        a.confRev = 7;
        a.hasRefrTm = true;
        const uint8_t t[8] = {0x5F, 0x5E, 0x10, 0x00, 0x80, 0x00, 0x00, 0x18};
        memcpy(a.refrTm, t, 8);
        a.smpSynch = 1;
        a.hasSmpRate = true;
        a.smpRate = 4000;
        a.hasSmpMod = true;
        a.smpMod = 1;
        for (int ch = 0; ch < 8; ++ch) {
            int32_t v = (ch + 1) * 1000 * (i % 2 ? -1 : 1);
            for (int b = 3; b >= 0; --b)
                a.data.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b)));
            uint32_t q = ch == 7 ? QUALITY_VALIDITY_QUESTIONABLE | QUALITY_DERIVED : 0;
            for (int b = 3; b >= 0; --b)
                a.data.push_back(static_cast<uint8_t>(q >> (8 * b)));
        }
        p.asdus.push_back(a);
    }
    return p;
}

std::vector<uint8_t> encode(const SvFrameParams& p) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(encodeSvFrame(p, out));
    return out;
}

} // namespace

TEST(SvCodec, EncodesAndParsesTheGoldenFrame) {
    auto golden = fromHex(kGolden);
    EXPECT_EQ(encode(goldenParams()), golden);
    stack::eth::LinkFrame link;
    std::vector<AsduSlot> slots;
    ASSERT_TRUE(parseSvFrame(golden.data(), golden.size(), nullptr, link, slots));
    ASSERT_EQ(slots.size(), 1u);
    SVSubscriber_ASDU a = &slots[0].asdu;
    EXPECT_EQ(link.appId, 0x4000);
    EXPECT_STREQ(SVSubscriber_ASDU_getSvId(a), "MU01");
    EXPECT_FALSE(SVSubscriber_ASDU_hasDatSet(a));
    EXPECT_EQ(SVSubscriber_ASDU_getDatSet(a), nullptr);
    EXPECT_EQ(SVSubscriber_ASDU_getSmpCnt(a), 0x0102);
    EXPECT_EQ(SVSubscriber_ASDU_getConfRev(a), 1u);
    EXPECT_EQ(SVSubscriber_ASDU_getSmpSynch(a), 2);
    EXPECT_FALSE(SVSubscriber_ASDU_hasRefrTm(a));
    EXPECT_FALSE(SVSubscriber_ASDU_hasSmpRate(a));
    EXPECT_FALSE(SVSubscriber_ASDU_hasSmpMod(a));
    EXPECT_EQ(SVSubscriber_ASDU_getDataSize(a), 8);
    EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 0), 1000);
    EXPECT_EQ(SVSubscriber_ASDU_getQuality(a, 4), 0);
    // Reads outside the data buffer give 0 instead of reading past it.
    EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 6), 0);
    EXPECT_EQ(SVSubscriber_ASDU_getINT64(a, 1), 0);
    EXPECT_EQ(SVSubscriber_ASDU_getINT8(a, -1), 0);
}

TEST(SvCodec, AllFieldsAndValueKinds) {
    auto f = encode(fullParams(2, 100));
    stack::eth::LinkFrame link;
    std::vector<AsduSlot> slots;
    ASSERT_TRUE(parseSvFrame(f.data(), f.size(), nullptr, link, slots));
    EXPECT_TRUE(link.vlanSet);
    EXPECT_EQ(link.vlanId, 5);
    EXPECT_EQ(link.vlanPriority, 4);
    ASSERT_EQ(slots.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        SVSubscriber_ASDU a = &slots[static_cast<size_t>(i)].asdu;
        EXPECT_STREQ(SVSubscriber_ASDU_getDatSet(a), "MU01LD0/LLN0$PhsMeas1");
        EXPECT_EQ(SVSubscriber_ASDU_getSmpCnt(a), 100 + i);
        EXPECT_EQ(SVSubscriber_ASDU_getConfRev(a), 7u);
        EXPECT_EQ(SVSubscriber_ASDU_getSmpRate(a), 4000);
        EXPECT_EQ(SVSubscriber_ASDU_getSmpMod(a), 1);
        EXPECT_EQ(SVSubscriber_ASDU_getRefrTmAsMs(a), 1600000000500ull);
        EXPECT_EQ(SVSubscriber_ASDU_getRefrTmAsNs(a), 1600000000500000000ull);
        EXPECT_EQ(SVSubscriber_ASDU_getDataSize(a), 64);
        EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 8), 2000 * (i ? -1 : 1));
        EXPECT_EQ(SVSubscriber_ASDU_getQuality(a, 60), QUALITY_VALIDITY_QUESTIONABLE | QUALITY_DERIVED);
    }
    // Float and 64-bit readers on a hand-made buffer.
    SvFrameParams p = goldenParams();
    float fl = -2.5f;
    double db = 1e-300;
    uint32_t fb;
    uint64_t dbits;
    memcpy(&fb, &fl, 4);
    memcpy(&dbits, &db, 8);
    p.asdus[0].data.clear();
    for (int b = 3; b >= 0; --b)
        p.asdus[0].data.push_back(static_cast<uint8_t>(fb >> (8 * b)));
    for (int b = 7; b >= 0; --b)
        p.asdus[0].data.push_back(static_cast<uint8_t>(dbits >> (8 * b)));
    auto g = encode(p);
    ASSERT_TRUE(parseSvFrame(g.data(), g.size(), nullptr, link, slots));
    EXPECT_EQ(SVSubscriber_ASDU_getFLOAT32(&slots[0].asdu, 0), -2.5f);
    EXPECT_EQ(SVSubscriber_ASDU_getFLOAT64(&slots[0].asdu, 4), 1e-300);
    EXPECT_EQ(SVSubscriber_ASDU_getINT64U(&slots[0].asdu, 4), dbits);
}

TEST(SvCodec, TsharkDecodesOurFramesWithoutComplaint) {
    IECX_REQUIRE_TSHARK();
    std::vector<std::vector<uint8_t>> frames{fromHex(kGolden), encode(fullParams(1, 7)),
                                             encode(fullParams(4, 65534))};
    std::string path = iecx::test::tempPath("sv", ".pcap");
    ASSERT_TRUE(iecx::test::writePcap(path, frames));
    // One run: the fields, plus the markers tshark sets on malformed frames and expert errors.
    auto r = iecx::test::Tshark::fields(path, {"sv.appid", "sv.noASDU", "sv.svID", "sv.datSet", "sv.smpCnt",
                                               "sv.confRev", "sv.smpSynch", "sv.smpRate", "sv.smpMod",
                                               "vlan.id", "_ws.malformed", "_ws.expert.severity"});
    remove(path.c_str());
    auto lines = iecx::test::Tshark::lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out << r.err;
    EXPECT_EQ(lines[0], "0x4000|1|MU01||258|1|2|||||");
    EXPECT_EQ(lines[1], "0x4000|1|MU01SV|MU01LD0/LLN0$PhsMeas1|7|7|1|4000|1|5||");
    EXPECT_EQ(lines[2],
              "0x4000|4|MU01SV,MU01SV,MU01SV,MU01SV|MU01LD0/LLN0$PhsMeas1,MU01LD0/LLN0$PhsMeas1,"
              "MU01LD0/LLN0$PhsMeas1,MU01LD0/LLN0$PhsMeas1|65534,65535,0,1|7,7,7,7|1,1,1,1|4000,4000,"
              "4000,4000|1,1,1,1|5||");
}

TEST(SvCodec, HostileFramesAreRejectedWithoutReadingPastTheEnd) {
    auto good = encode(fullParams(2, 1));
    stack::eth::LinkFrame link;
    std::vector<AsduSlot> slots;
    ASSERT_TRUE(parseSvFrame(good.data(), good.size(), nullptr, link, slots));
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(parseSvFrame(cut.data(), cut.size(), nullptr, link, slots)) << n;
    }
    auto padded = good;
    padded.resize(good.size() + 30, 0xAA);
    EXPECT_TRUE(parseSvFrame(padded.data(), padded.size(), nullptr, link, slots));
    // noASDU that disagrees with the ASDUs present.
    auto p = fullParams(2, 1);
    auto wrongCount = encode(p);
    // savPdu: tag at 22 (after the tag and the header), then its length; noASDU follows.
    size_t pos = 18 + 8;
    ASSERT_EQ(wrongCount[pos], 0x60);
    size_t noAsdu = pos + 2 + (wrongCount[pos + 1] & 0x80 ? (wrongCount[pos + 1] & 0x7F) : 0);
    ASSERT_EQ(wrongCount[noAsdu], 0x80);
    wrongCount[noAsdu + 2] = 3;
    EXPECT_FALSE(parseSvFrame(wrongCount.data(), wrongCount.size(), nullptr, link, slots));
}

namespace {

struct Seen {
    std::vector<uint16_t> counts;
    std::vector<std::string> ids;
};

void onAsdu(SVSubscriber, void* p, SVSubscriber_ASDU a) {
    auto* seen = static_cast<Seen*>(p);
    seen->counts.push_back(SVSubscriber_ASDU_getSmpCnt(a));
    seen->ids.push_back(SVSubscriber_ASDU_getSvId(a));
}

} // namespace

TEST(SvMatching, ByAppIdAndOptionallyDestination) {
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    const uint8_t otherDst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x02};
    auto f = encode(fullParams(3, 10));
    for (bool check : {false, true}) {
        SVReceiver r = SVReceiver_create();
        if (check)
            SVReceiver_enableDestAddrCheck(r);
        Seen same, otherAddr, otherApp, noAddr;
        auto add = [&](const uint8_t* mac, uint16_t appId, Seen* seen) {
            SVSubscriber s = SVSubscriber_create(mac, appId);
            SVSubscriber_setListener(s, onAsdu, seen);
            SVReceiver_addSubscriber(r, s);
        };
        add(dst, 0x4000, &same);
        add(otherDst, 0x4000, &otherAddr);
        add(dst, 0x4001, &otherApp);
        add(nullptr, 0x4000, &noAddr);
        SVReceiver_handleMessage(r, f.data(), static_cast<int>(f.size()));
        EXPECT_EQ(same.counts, (std::vector<uint16_t>{10, 11, 12})) << "every ASDU, in order";
        EXPECT_EQ(otherAddr.counts.size(), check ? 0u : 3u);
        EXPECT_EQ(noAddr.counts.size(), check ? 0u : 3u);
        EXPECT_TRUE(otherApp.counts.empty());
        // A truncated copy delivers no ASDU at all.
        SVReceiver_handleMessage(r, f.data(), static_cast<int>(f.size() - 1));
        EXPECT_EQ(same.counts.size(), 3u);
        SVReceiver_destroy(r);
    }
}
