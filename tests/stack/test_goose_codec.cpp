// GOOSE frames without a network: golden BER, round trips of every value kind, tshark's view of
// our frames, hostile input, and subscriber matching through GooseReceiver_handleMessage.
#include "goose_publisher.h"
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "stack/src/goose/GooseFrame.h"
#include "stack/src/mms/MmsData.h"
#include "support/Tshark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using iecx::test::fromHex;
using namespace stack::goose;
using stack::mms::decodeDataList;
using stack::mms::updateDataList;

namespace {

std::vector<uint8_t> ascii(const char* s) {
    return std::vector<uint8_t>(s, s + strlen(s));
}

const uint8_t kT[8] = {0x5F, 0x5E, 0x10, 0x00, 0x80, 0x00, 0x00, 0x0A}; // 2020-09-13 12:26:40.5

GooseFrameParams goldenParams() {
    GooseFrameParams p;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    const uint8_t src[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    memcpy(p.link.dst, dst, 6);
    memcpy(p.link.src, src, 6);
    p.link.appId = 0x0001;
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

} // namespace

TEST(GooseCodec, EncodesTheGoldenFrame) {
    Values v = goldenValues();
    EXPECT_EQ(encode(goldenParams(), v.v), goldenFrame());
}

TEST(GooseCodec, UtcTimeConversionAgreesWithTheValueModel) {
    for (uint64_t ms : {0ull, 1ull, 999ull, 1600000000500ull, 1733400000123ull}) {
        uint8_t t[8];
        utcTimeFromMs(ms, t);
        EXPECT_EQ(utcTimeToMs(t), ms);
        MmsValue* v = MmsValue_newUtcTime(0);
        MmsValue_setUtcTimeByBuffer(v, t);
        EXPECT_EQ(MmsValue_getUtcTimeInMs(v), ms);
        MmsValue_delete(v);
    }
    // Publishers that truncate write .123 s as fraction 0x1F7CED (122.99996 ms): read to the
    // nearest millisecond, not one low, by every reader of a UTC time.
    const uint8_t truncated[8] = {0x67, 0x51, 0x1C, 0xC0, 0x1F, 0x7C, 0xED, 0x0A};
    MmsValue* v = MmsValue_newUtcTime(0);
    MmsValue_setUtcTimeByBuffer(v, truncated);
    Timestamp ts;
    memcpy(ts.val, truncated, 8);
    EXPECT_EQ(utcTimeToMs(truncated), 1733369024123ull);
    EXPECT_EQ(MmsValue_getUtcTimeInMs(v), 1733369024123ull);
    EXPECT_EQ(Timestamp_getTimeInMs(&ts), 1733369024123ull);
    MmsValue_delete(v);
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

TEST(GooseCodec, TsharkDecodesOurFramesWithoutComplaint) {
    IECX_REQUIRE_TSHARK();
    Values vals = everyKind();
    GooseFrameParams p = goldenParams();
    std::vector<std::vector<uint8_t>> frames{goldenFrame(), encode(p, vals.v)};
    p.link.vlan = true;
    p.link.vlanId = 100;
    p.link.vlanPriority = 4;
    p.simulation = true;
    p.ndsCom = true;
    p.stNum = 0x12345678;
    p.sqNum = 0x80000000u;
    frames.push_back(encode(p, vals.v));
    std::string path = iecx::test::tempPath("goose", ".pcap");
    ASSERT_TRUE(iecx::test::writePcap(path, frames));
    // One run: the fields, plus the markers tshark sets on malformed frames and expert errors.
    auto r = iecx::test::Tshark::fields(
        path, {"goose.appid", "goose.gocbRef", "goose.timeAllowedtoLive", "goose.datSet", "goose.goID",
               "goose.stNum", "goose.sqNum", "goose.simulation", "goose.confRev", "goose.ndsCom",
               "goose.numDatSetEntries", "vlan.id", "vlan.priority", "_ws.malformed", "_ws.expert.severity"});
    remove(path.c_str());
    auto lines = iecx::test::Tshark::lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out << r.err;
    EXPECT_EQ(lines[0], "0x0001|IED1LD0/LLN0$GO$gcb1|2000|IED1LD0/LLN0$DS1|gcb1|1|0|0|1|0|3||||");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 6), "14||||") << "every value kind, no complaint";
    EXPECT_EQ(lines[2],
              "0x0001|IED1LD0/LLN0$GO$gcb1|2000|IED1LD0/LLN0$DS1|gcb1|305419896|2147483648|1|1|1|14|100|4||");
}

TEST(GooseCodec, HostileFramesAreRejectedWithoutReadingPastTheEnd) {
    Values vals = everyKind();
    auto good = encode(goldenParams(), vals.v);
    GooseMessage m;
    ASSERT_TRUE(parseGooseFrame(good.data(), good.size(), nullptr, m));
    // Every truncation: the Length field then points past the end. Each copy is exactly sized
    // so that ASan catches any read beyond it.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(parseGooseFrame(cut.data(), cut.size(), nullptr, m)) << n;
    }
    // Ethernet padding after the declared length is ignored.
    auto padded = good;
    padded.resize(good.size() + 20, 0);
    ASSERT_TRUE(parseGooseFrame(padded.data(), padded.size(), nullptr, m));
    EXPECT_EQ(m.link.length, good.size() - 14);
    auto otherTag = good; // a PDU of another kind behind a good header
    otherTag[22] = 0x62;
    EXPECT_FALSE(parseGooseFrame(otherTag.data(), otherTag.size(), nullptr, m));
    // A Length field smaller than the header, and one that claims a byte more than present.
    auto small = good;
    small[16] = 0;
    small[17] = 7;
    EXPECT_FALSE(parseGooseFrame(small.data(), small.size(), nullptr, m));
    auto longer = good;
    uint16_t len = static_cast<uint16_t>(good.size() - 14 + 1);
    longer[16] = static_cast<uint8_t>(len >> 8);
    longer[17] = static_cast<uint8_t>(len);
    EXPECT_FALSE(parseGooseFrame(longer.data(), longer.size(), nullptr, m));
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
    EXPECT_TRUE(GooseSubscriber_isValid(s));
    EXPECT_EQ(GooseSubscriber_getParseError(s), GOOSE_PARSE_ERROR_NO_ERROR);
    EXPECT_STREQ(GooseSubscriber_getGoCbRef(s), "IED1LD0/LLN0$GO$gcb1");
    EXPECT_STREQ(GooseSubscriber_getDataSet(s), "IED1LD0/LLN0$DS1");
    EXPECT_STREQ(GooseSubscriber_getGoId(s), "gcb1");
    EXPECT_EQ(GooseSubscriber_getTimestamp(s), 1600000000500ull);
    EXPECT_EQ(GooseSubscriber_getTimeAllowedToLive(s), 2000u);
    EXPECT_EQ(GooseSubscriber_getStNum(s), 1u);
    EXPECT_EQ(GooseSubscriber_getSqNum(s), 0u);
    EXPECT_EQ(GooseSubscriber_getConfRev(s), 1u);
    EXPECT_EQ(GooseSubscriber_getAppId(s), 1);
    uint8_t src[6];
    GooseSubscriber_getSrcMac(s, src);
    EXPECT_EQ(src[5], 0x55);
    EXPECT_FALSE(GooseSubscriber_isVlanSet(s));
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
