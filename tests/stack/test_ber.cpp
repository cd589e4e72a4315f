#include "stack/src/ber/Ber.h"

#include <gtest/gtest.h>

using namespace stack::ber;

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

TEST(Ber, HighTagNumbersRoundTrip) {
    Writer w;
    w.writeTag(Context, false, 79);
    w.writeLength(0);
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{0x9F, 0x4F, 0x00}));
    Tlv t;
    ASSERT_TRUE(decodeSingle(w.bytes().data(), w.size(), t));
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
