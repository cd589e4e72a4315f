// GOOSE and Sampled Values frames without a network: golden BER, round trips of every value kind,
// tshark's view of our frames, hostile input, and subscriber matching through the receivers'
// handleMessage.
#include "goose_publisher.h"
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "stack/src/goose/GooseFrame.h"
#include "stack/src/mms/MmsData.h"
#include "stack/src/sv/SvFrame.h"
#include "sv_publisher.h"
#include "sv_subscriber.h"
#include "support/Tshark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using iecx::test::fromHex;
using namespace stack::goose;
using namespace stack::sv;
using stack::mms::decodeDataList;
using stack::mms::updateDataList;
using Frame = std::vector<uint8_t>;

namespace {

const stack::eth::LinkParams kGooseLink{
    {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, false, 0, 0, 0x0001};
const stack::eth::LinkParams kSvLink{
    {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01}, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, false, 0, 0, 0x4000};

// Writes the frames into a PCAP file and gives tshark's fields, one line per frame.
std::vector<std::string> tsharkFields(const std::vector<Frame>& frames,
                                      const std::vector<std::string>& fields) {
    std::string path = iecx::test::tempPath("frames", ".pcap");
    EXPECT_TRUE(iecx::test::writePcap(path, frames));
    auto r = iecx::test::Tshark::fields(path, fields);
    remove(path.c_str());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return iecx::test::Tshark::lines(r.out);
}

// Every truncation of a good frame is refused (each copy exactly sized, so that ASan catches any
// read beyond it); Ethernet padding after the declared length is ignored.
template <typename Parse> void expectTruncationsRefused(const Frame& good, Parse parse) {
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(parse(Frame(good.begin(), good.begin() + static_cast<long>(n)))) << n;
    Frame padded = good;
    padded.resize(good.size() + 20, 0xAA);
    EXPECT_TRUE(parse(padded));
}

std::vector<uint8_t> ascii(const char* s) {
    return std::vector<uint8_t>(s, s + strlen(s));
}

const uint8_t kT[8] = {0x5F, 0x5E, 0x10, 0x00, 0x80, 0x00, 0x00, 0x0A}; // 2020-09-13 12:26:40.5

GooseFrameParams goldenParams() {
    GooseFrameParams p;
    p.link = kGooseLink;
    p.gocbRef = "IED1LD0/LLN0$GO$gcb1";
    p.timeAllowedToLive = 2000;
    p.datSet = "IED1LD0/LLN0$DS1";
    p.goId = "gcb1";
    memcpy(p.t, kT, 8);
    p.stNum = 1;
    p.sqNum = 0;
    p.confRev = 1;
    return p;
}

// The golden frame: three members (boolean true, 13-bit quality 0, a UTC time).
std::vector<uint8_t> goldenFrame() {
    std::vector<uint8_t> f = fromHex("010CCD010001 001122334455 88B8 0001 006C 0000 0000"
                                     "6162");
    auto add = [&f](const std::vector<uint8_t>& v) { f.insert(f.end(), v.begin(), v.end()); };
    add(fromHex("8014"));
    add(ascii("IED1LD0/LLN0$GO$gcb1"));
    add(fromHex("810207D0 8210"));
    add(ascii("IED1LD0/LLN0$DS1"));
    add(fromHex("8304"));
    add(ascii("gcb1"));
    add(fromHex("8408 5F5E10008000000A 850101 860100 870100 880101 890100 8A0103"
                "AB12 8301FF 8403030000 9108 5F5E10008000000A"));
    return f;
}

struct Values {
    std::vector<MmsValue*> v;
    ~Values() {
        for (auto* x : v)
            MmsValue_delete(x);
    }
};

// An empty data set of the golden frame's shape, as a caller hands it to a subscriber.
MmsValue* goldenShape() {
    MmsValue* v = MmsValue_createEmptyArray(3);
    MmsValue_setElement(v, 0, MmsValue_newBoolean(false));
    MmsValue_setElement(v, 1, MmsValue_newBitString(13));
    MmsValue_setElement(v, 2, MmsValue_newUtcTime(0));
    return v;
}

Values goldenValues() {
    Values vals;
    vals.v.push_back(MmsValue_newBoolean(true));
    vals.v.push_back(MmsValue_newBitString(13));
    MmsValue* t = MmsValue_newUtcTime(0);
    MmsValue_setUtcTimeByBuffer(t, kT);
    vals.v.push_back(t);
    return vals;
}

std::vector<uint8_t> encode(const GooseFrameParams& p, const std::vector<MmsValue*>& v) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(encodeGooseFrame(p, const_cast<const MmsValue* const*>(v.data()), v.size(), out));
    return out;
}

const char* kGolden = "010CCD040001 001122334455 88BA 4000 002E 0000 0000"
                      "6024 800101 A21F 301D 8004 4D553031 82020102 830400000001 850102"
                      "8708 000003E8 00000000";

SvFrameParams svGoldenParams() {
    SvFrameParams p;
    p.link = kSvLink;
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
    SvFrameParams p = svGoldenParams();
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

Frame encode(const SvFrameParams& p) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(encodeSvFrame(p, out));
    return out;
}

} // namespace

// The golden frame, and UTC times that agree with the value model's.
TEST(GooseCodec, EncodesTheGoldenFrameAndUtcTimes) {
    Values v = goldenValues();
    EXPECT_EQ(encode(goldenParams(), v.v), goldenFrame());
    for (uint64_t ms : {0ull, 1ull, 999ull, 1600000000500ull, 1733400000123ull}) {
        uint8_t t[8];
        utcTimeFromMs(ms, t);
        EXPECT_EQ(utcTimeToMs(t), ms);
    }
    // Publishers that truncate write .123 s as fraction 0x1F7CED (122.99996 ms): read to the
    // nearest millisecond, not one low, by every reader of a UTC time.
    const uint8_t truncated[8] = {0x67, 0x51, 0x1C, 0xC0, 0x1F, 0x7C, 0xED, 0x0A};
    MmsValue* t = MmsValue_newUtcTime(0);
    MmsValue_setUtcTimeByBuffer(t, truncated);
    Timestamp ts;
    memcpy(ts.val, truncated, 8);
    EXPECT_EQ(utcTimeToMs(truncated), 1733369024123ull);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(t), 1733369024123ull);
    EXPECT_EQ(Timestamp_getTimeInMs(&ts), 1733369024123ull);
    MmsValue_delete(t);
}

// One value of every kind GOOSE and MMS carry, nested, with long lengths (the data codec is one).
static Values everyKind() {
    Values vals;
    vals.v.push_back(MmsValue_newBoolean(false));
    MmsValue* bits = MmsValue_newBitString(13);
    MmsValue_setBitStringBit(bits, 1, true);
    MmsValue_setBitStringBit(bits, 12, true);
    vals.v.push_back(bits);
    vals.v.push_back(MmsValue_newIntegerFromInt32(-123456));
    vals.v.push_back(MmsValue_newIntegerFromInt64(INT64_MIN));
    vals.v.push_back(MmsValue_newUnsignedFromUint32(0xFFFFFFFFu));
    vals.v.push_back(MmsValue_newFloat(-1.5f));
    vals.v.push_back(MmsValue_newDouble(3.141592653589793));
    MmsValue* octets = MmsValue_newOctetString(0, 64);
    uint8_t raw[64];
    for (int i = 0; i < 64; ++i)
        raw[i] = static_cast<uint8_t>(i * 5);
    MmsValue_setOctetString(octets, raw, 64);
    vals.v.push_back(octets);
    vals.v.push_back(MmsValue_newVisibleString(std::string(300, 'x').c_str()));
    vals.v.push_back(MmsValue_newMmsString("\xD0\x9F\xD1\x80\xD0\xB8")); // UTF-8
    vals.v.push_back(MmsValue_newUtcTimeByMsTime(1733400000123ull));
    MmsValue* bt = MmsValue_newBinaryTime(false);
    MmsValue_setBinaryTime(bt, 1733400000123ull);
    vals.v.push_back(bt);
    vals.v.push_back(MmsValue_newBinaryTime(true));
    MmsValue* st = MmsValue_createEmptyStructure(3);
    MmsValue_setElement(st, 0, MmsValue_newFloat(50.0f));
    MmsValue_setElement(st, 1, MmsValue_newBitString(13));
    MmsValue* arr = MmsValue_createEmptyArray(2);
    MmsValue_setElement(arr, 0, MmsValue_newIntegerFromInt8(1));
    MmsValue_setElement(arr, 1, MmsValue_newIntegerFromInt16(-300));
    MmsValue_setElement(st, 2, arr);
    vals.v.push_back(st);
    return vals;
}

TEST(GooseCodec, EveryValueKindSurvivesARoundTrip) {
    Values vals = everyKind();
    auto f = encode(goldenParams(), vals.v);
    GooseMessage m;
    ASSERT_TRUE(parseGooseFrame(f.data(), f.size(), nullptr, m));
    EXPECT_EQ(m.numDatSetEntries, vals.v.size());
    MmsValue* list = decodeDataList(m.allData.data, m.allData.size);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(MmsValue_getArraySize(list), vals.v.size());
    for (size_t i = 0; i < vals.v.size(); ++i) {
        char a[256], b[256];
        MmsValue_printToBuffer(vals.v[i], a, sizeof a);
        MmsValue_printToBuffer(MmsValue_getElement(list, static_cast<int>(i)), b, sizeof b);
        EXPECT_TRUE(MmsValue_equals(vals.v[i], MmsValue_getElement(list, static_cast<int>(i))))
            << "member " << i << ": sent " << a << ", got " << b;
    }
    // A second message of the same shape updates the values in place.
    MmsValue_setBoolean(vals.v[0], true);
    MmsValue_setInt32(vals.v[2], 42);
    auto f2 = encode(goldenParams(), vals.v);
    ASSERT_TRUE(parseGooseFrame(f2.data(), f2.size(), nullptr, m));
    MmsValue* firstElement = MmsValue_getElement(list, 0);
    ASSERT_TRUE(updateDataList(list, m.allData.data, m.allData.size));
    EXPECT_EQ(MmsValue_getElement(list, 0), firstElement);
    EXPECT_TRUE(MmsValue_getBoolean(firstElement));
    EXPECT_EQ(MmsValue_toInt32(MmsValue_getElement(list, 2)), 42);
    MmsValue_delete(list);
}

// The fields, plus the markers tshark sets on malformed frames and expert errors, in one run.
TEST(FrameCodec, TsharkDecodesOurFramesWithoutComplaint) {
    IECX_REQUIRE_TSHARK();
    Values vals = everyKind();
    GooseFrameParams p = goldenParams();
    std::vector<Frame> frames{goldenFrame(), encode(p, vals.v)};
    p.link.vlan = true;
    p.link.vlanId = 100;
    p.link.vlanPriority = 4;
    p.simulation = true;
    p.ndsCom = true;
    p.stNum = 0x12345678;
    p.sqNum = 0x80000000u;
    frames.push_back(encode(p, vals.v));
    auto lines =
        tsharkFields(frames, {"goose.appid", "goose.gocbRef", "goose.timeAllowedtoLive", "goose.datSet",
                              "goose.goID", "goose.stNum", "goose.sqNum", "goose.simulation", "goose.confRev",
                              "goose.ndsCom", "goose.numDatSetEntries", "vlan.id", "vlan.priority",
                              "_ws.malformed", "_ws.expert.severity"});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "0x0001|IED1LD0/LLN0$GO$gcb1|2000|IED1LD0/LLN0$DS1|gcb1|1|0|0|1|0|3||||");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 6), "14||||") << "every value kind, no complaint";
    EXPECT_EQ(lines[2],
              "0x0001|IED1LD0/LLN0$GO$gcb1|2000|IED1LD0/LLN0$DS1|gcb1|305419896|2147483648|1|1|1|14|100|4||");

    lines = tsharkFields({fromHex(kGolden), encode(fullParams(1, 7)), encode(fullParams(4, 65534))},
                         {"sv.appid", "sv.noASDU", "sv.svID", "sv.datSet", "sv.smpCnt", "sv.confRev",
                          "sv.smpSynch", "sv.smpRate", "sv.smpMod", "vlan.id", "_ws.malformed",
                          "_ws.expert.severity"});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "0x4000|1|MU01||258|1|2|||||");
    EXPECT_EQ(lines[1], "0x4000|1|MU01SV|MU01LD0/LLN0$PhsMeas1|7|7|1|4000|1|5||");
    EXPECT_EQ(lines[2],
              "0x4000|4|MU01SV,MU01SV,MU01SV,MU01SV|MU01LD0/LLN0$PhsMeas1,MU01LD0/LLN0$PhsMeas1,"
              "MU01LD0/LLN0$PhsMeas1,MU01LD0/LLN0$PhsMeas1|65534,65535,0,1|7,7,7,7|1,1,1,1|4000,4000,"
              "4000,4000|1,1,1,1|5||");
}

TEST(FrameCodec, HostileFramesAreRejectedWithoutReadingPastTheEnd) {
    Values vals = everyKind();
    GooseMessage m;
    Frame good = encode(goldenParams(), vals.v);
    expectTruncationsRefused(good,
                             [&](const Frame& f) { return parseGooseFrame(f.data(), f.size(), nullptr, m); });
    auto refused = [&](size_t at, std::vector<uint8_t> bytes) {
        Frame f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        return !parseGooseFrame(f.data(), f.size(), nullptr, m);
    };
    EXPECT_TRUE(refused(22, {0x62})) << "a PDU of another kind behind a good header";
    EXPECT_TRUE(refused(16, {0, 7})) << "a Length field smaller than the header";
    const size_t oneMore = good.size() - 14 + 1;
    EXPECT_TRUE(refused(16, {uint8_t(oneMore >> 8), uint8_t(oneMore)})) << "a Length a byte past the end";

    stack::eth::LinkFrame link;
    std::vector<AsduSlot> slots;
    good = encode(fullParams(2, 1));
    expectTruncationsRefused(
        good, [&](const Frame& f) { return parseSvFrame(f.data(), f.size(), nullptr, link, slots); });
    // noASDU that disagrees with the ASDUs present: savPdu's tag after the header, then its
    // length, then noASDU.
    size_t pos = 18 + 8;
    ASSERT_EQ(good[pos], 0x60);
    size_t noAsdu = pos + 2 + (good[pos + 1] & 0x80 ? (good[pos + 1] & 0x7F) : 0);
    ASSERT_EQ(good[noAsdu], 0x80);
    good[noAsdu + 2] = 3;
    EXPECT_FALSE(parseSvFrame(good.data(), good.size(), nullptr, link, slots));
}

// ---- subscribers fed through GooseReceiver_handleMessage ----

namespace {

struct Seen {
    int count = 0;
    uint32_t stNum = 0;
    std::string goId;
};

void onGoose(GooseSubscriber s, void* p) {
    auto* seen = static_cast<Seen*>(p);
    ++seen->count;
    seen->stNum = GooseSubscriber_getStNum(s);
    seen->goId = GooseSubscriber_getGoId(s);
}

} // namespace

// Subscribers match by control block, APPID and destination; the matching one takes the message's
// fields and updates the caller's values in place.
TEST(GooseMatching, ByControlBlockAppIdAndDestination) {
    GooseReceiver r = GooseReceiver_create();
    Seen byRef, byAppId, wrongAppId, byMac, wrongMac, observer, otherRef;
    auto add = [&](const char* ref, Seen* seen, MmsValue* values = nullptr) {
        GooseSubscriber s = GooseSubscriber_create(const_cast<char*>(ref), values);
        GooseSubscriber_setListener(s, onGoose, seen);
        GooseReceiver_addSubscriber(r, s);
        return s;
    };
    MmsValue* mine = goldenShape();
    GooseSubscriber s = add("IED1LD0/LLN0$GO$gcb1", &byRef, mine);
    EXPECT_FALSE(GooseSubscriber_isValid(s));
    GooseSubscriber_setAppId(add("IED1LD0/LLN0$GO$gcb1", &byAppId), 1);
    GooseSubscriber_setAppId(add("IED1LD0/LLN0$GO$gcb1", &wrongAppId), 2);
    uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    GooseSubscriber_setDstMac(add("IED1LD0/LLN0$GO$gcb1", &byMac), mac);
    mac[5] = 2;
    GooseSubscriber_setDstMac(add("IED1LD0/LLN0$GO$gcb1", &wrongMac), mac);
    GooseSubscriber_setObserver(add("", &observer));
    add("IED1LD0/LLN0$GO$gcb", &otherRef); // a prefix is not a match

    auto f = goldenFrame();
    GooseReceiver_handleMessage(r, f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(byRef.count, 1);
    EXPECT_EQ(byAppId.count, 1);
    EXPECT_EQ(wrongAppId.count, 0);
    EXPECT_EQ(byMac.count, 1);
    EXPECT_EQ(wrongMac.count, 0);
    EXPECT_EQ(observer.count, 1);
    EXPECT_EQ(otherRef.count, 0);
    EXPECT_EQ(observer.goId, "gcb1");

    EXPECT_EQ(GooseSubscriber_getDataSetValues(s), mine);
    EXPECT_TRUE(MmsValue_getBoolean(MmsValue_getElement(mine, 0)));
    EXPECT_EQ(MmsValue_getBitStringSize(MmsValue_getElement(mine, 1)), 13);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(MmsValue_getElement(mine, 2)), 1600000000500ull);
    // The other fields arrive end to end from the simulated IED (tests/sim/test_goose.cpp).
    EXPECT_TRUE(GooseSubscriber_isValid(s));
    EXPECT_STREQ(GooseSubscriber_getGoCbRef(s), "IED1LD0/LLN0$GO$gcb1");
    EXPECT_EQ(GooseSubscriber_getTimestamp(s), 1600000000500ull);
    uint8_t src[6];
    GooseSubscriber_getSrcMac(s, src);
    EXPECT_EQ(src[5], 0x55);
    // A truncated copy reaches nobody.
    GooseReceiver_handleMessage(r, f.data(), static_cast<int>(f.size() - 1));
    EXPECT_EQ(observer.count, 1);
    GooseReceiver_destroy(r); // releases the subscribers
    MmsValue_delete(mine);    // still the caller's
}

namespace {

// Replaces the first occurrence of `from` in a frame (a field picked by its encoding).
void patch(std::vector<uint8_t>& f, const std::vector<uint8_t>& from, const std::vector<uint8_t>& to) {
    auto at = std::search(f.begin(), f.end(), from.begin(), from.end());
    ASSERT_NE(at, f.end());
    std::copy(to.begin(), to.end(), at);
}

} // namespace

// After a good message, each case's message either is taken or is delivered as invalid with
// everything of the good message kept; a good message afterwards is valid again.
TEST(GooseMatching, MessagesAreValidatedWholeBeforeAnyValueChanges) {
    enum Shape { Same, Other };
    const struct {
        const char* name;
        bool callerValues;
        uint32_t confRev;
        Shape shape;
        const char *from, *to; // a patch of the encoded frame, in hex
        GooseParseError error; // NO_ERROR: taken
    } cases[] = {
        {"same shape", false, 1, Same, "", "", GOOSE_PARSE_ERROR_NO_ERROR},
        {"new shape under a new confRev", false, 2, Other, "", "", GOOSE_PARSE_ERROR_NO_ERROR},
        {"new shape under the same confRev", false, 1, Other, "", "", GOOSE_PARSE_ERROR_TYPE_MISMATCH},
        {"shape not fitting the caller's values", true, 2, Other, "", "", GOOSE_PARSE_ERROR_TYPE_MISMATCH},
        {"numDatSetEntries too small", false, 1, Same, "8A0103", "8A0102", GOOSE_PARSE_ERROR_LENGTH_MISMATCH},
        {"numDatSetEntries too large", true, 1, Same, "8A0103", "8A0104", GOOSE_PARSE_ERROR_LENGTH_MISMATCH},
        {"second member malformed", false, 1, Same, "840303", "840308", GOOSE_PARSE_ERROR_TAGDECODE},
        {"last member of an unknown kind", true, 1, Same, "9108", "9208", GOOSE_PARSE_ERROR_TAGDECODE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GooseReceiver r = GooseReceiver_create();
        MmsValue* mine = c.callerValues ? goldenShape() : nullptr;
        GooseSubscriber s = GooseSubscriber_create(const_cast<char*>("IED1LD0/LLN0$GO$gcb1"), mine);
        Seen seen;
        GooseSubscriber_setListener(s, onGoose, &seen);
        GooseReceiver_addSubscriber(r, s);
        auto good = goldenFrame(); // boolean true first, stNum 1
        GooseReceiver_handleMessage(r, good.data(), static_cast<int>(good.size()));
        ASSERT_TRUE(GooseSubscriber_isValid(s));
        MmsValue* values = GooseSubscriber_getDataSetValues(s);
        if (mine) {
            EXPECT_EQ(values, mine);
        }

        // The next message: first member false, stNum 2.
        GooseFrameParams p = goldenParams();
        p.stNum = 2;
        p.confRev = c.confRev;
        Values next = c.shape == Same ? goldenValues() : everyKind();
        MmsValue_setBoolean(next.v[0], false);
        auto f = encode(p, next.v);
        if (*c.from)
            patch(f, fromHex(c.from), fromHex(c.to));
        GooseReceiver_handleMessage(r, f.data(), static_cast<int>(f.size()));
        EXPECT_EQ(seen.count, 2) << "delivered either way";
        EXPECT_EQ(GooseSubscriber_getParseError(s), c.error);
        MmsValue* now = GooseSubscriber_getDataSetValues(s);
        if (c.error == GOOSE_PARSE_ERROR_NO_ERROR) {
            EXPECT_TRUE(GooseSubscriber_isValid(s));
            EXPECT_EQ(GooseSubscriber_getStNum(s), 2u);
            EXPECT_EQ(MmsValue_getArraySize(now), next.v.size());
            EXPECT_FALSE(MmsValue_getBoolean(MmsValue_getElement(now, 0)));
            if (c.shape == Same) {
                EXPECT_EQ(now, values) << "same shape: updated in place";
            }
        } else {
            EXPECT_FALSE(GooseSubscriber_isValid(s));
            EXPECT_EQ(now, values);
            EXPECT_EQ(MmsValue_getArraySize(now), 3u);
            EXPECT_TRUE(MmsValue_getBoolean(MmsValue_getElement(now, 0))) << "no member overwritten";
            EXPECT_EQ(GooseSubscriber_getStNum(s), 1u);
            GooseReceiver_handleMessage(r, good.data(), static_cast<int>(good.size()));
            EXPECT_TRUE(GooseSubscriber_isValid(s));
            EXPECT_EQ(GooseSubscriber_getParseError(s), GOOSE_PARSE_ERROR_NO_ERROR);
        }
        GooseReceiver_destroy(r);
        MmsValue_delete(mine);
    }
}

// Each field as read by a subscriber is checked end to end on the simulated merging unit's
// streams (tests/sim/test_sv.cpp); here the golden bytes and the readers' bounds.
TEST(SvCodec, GoldenFrameAndReaders) {
    auto golden = fromHex(kGolden);
    EXPECT_EQ(encode(svGoldenParams()), golden);
    stack::eth::LinkFrame link;
    std::vector<AsduSlot> slots;
    ASSERT_TRUE(parseSvFrame(golden.data(), golden.size(), nullptr, link, slots));
    ASSERT_EQ(slots.size(), 1u);
    SVSubscriber_ASDU a = &slots[0].asdu;
    EXPECT_EQ(SVSubscriber_ASDU_getDatSet(a), nullptr);
    EXPECT_EQ(SVSubscriber_ASDU_getSmpSynch(a), 2);
    EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 0), 1000);
    // Reads outside the data buffer give 0 instead of reading past it.
    EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 6), 0);
    EXPECT_EQ(SVSubscriber_ASDU_getINT64(a, 1), 0);
    EXPECT_EQ(SVSubscriber_ASDU_getINT8(a, -1), 0);

    auto f = encode(fullParams(2, 100));
    ASSERT_TRUE(parseSvFrame(f.data(), f.size(), nullptr, link, slots));
    EXPECT_TRUE(link.vlanSet);
    EXPECT_EQ(link.vlanId, 5);
    EXPECT_EQ(link.vlanPriority, 4);
    ASSERT_EQ(slots.size(), 2u);
    a = &slots[1].asdu;
    EXPECT_EQ(SVSubscriber_ASDU_getSmpCnt(a), 101);
    EXPECT_EQ(SVSubscriber_ASDU_getRefrTmAsMs(a), 1600000000500ull);
    EXPECT_EQ(SVSubscriber_ASDU_getINT32(a, 8), -2000);
    EXPECT_EQ(SVSubscriber_ASDU_getQuality(a, 60), QUALITY_VALIDITY_QUESTIONABLE | QUALITY_DERIVED);
    // Float and 64-bit readers on a hand-made buffer.
    SvFrameParams p = svGoldenParams();
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

namespace {

struct SvSeen {
    std::vector<uint16_t> counts;
    std::vector<std::string> ids;
};

void onAsdu(SVSubscriber, void* p, SVSubscriber_ASDU a) {
    auto* seen = static_cast<SvSeen*>(p);
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
        SvSeen same, otherAddr, otherApp, noAddr;
        auto add = [&](const uint8_t* mac, uint16_t appId, SvSeen* seen) {
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
