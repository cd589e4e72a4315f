#include "capture/Asn1Decoders.h"

#include <gtest/gtest.h>

using namespace VorIec61850::ASN1;

TEST(Asn1Decoders, IdentifierOctets) {
    OctetsIdentifier a({0xA2}, 0);
    EXPECT_EQ(a.to_string(), "Tag-2, Size-1, Class-2, IsComplex-true");

    OctetsIdentifier high({0x00, 0x1F, 0x81, 0x05, 0xFF}, 1);
    EXPECT_EQ(high.tag, 133u);
    EXPECT_EQ(high.size, 3);
    EXPECT_EQ(high.tagClass, 0);
    EXPECT_FALSE(high.isComplex);

    // A high tag number cut short by the end of the data stops there.
    OctetsIdentifier cut({0x7F, 0x81}, 0);
    EXPECT_EQ(cut.tagClass, 1);
    EXPECT_EQ(cut.size, 2);
    EXPECT_EQ(cut.tag, 1u);
    OctetsIdentifier beyond({0x30}, 5);
    EXPECT_EQ(beyond.size, 0);
}

TEST(Asn1Decoders, LengthOctets) {
    OctetsLength shortForm(std::vector<unsigned char>{0x45}, 0);
    EXPECT_EQ(shortForm.length, 69u);
    EXPECT_EQ(shortForm.size, 1u);
    OctetsLength longForm(std::vector<unsigned char>{0x30, 0x82, 0x01, 0x00}, 1);
    EXPECT_EQ(longForm.to_string(), "Length-256, Size-3");
    OctetsLength indefinite(std::vector<unsigned char>{0x80}, 0);
    EXPECT_EQ(indefinite.length, 0u);
    EXPECT_EQ(indefinite.size, 1u);
    // Only the last four of five length bytes survive in 32 bits.
    OctetsLength wide(std::vector<unsigned char>{0x85, 0x01, 0x00, 0x00, 0x00, 0x02}, 0);
    EXPECT_EQ(wide.length, 2u);
    EXPECT_EQ(wide.size, 6u);
}

TEST(Asn1Decoders, BitStringBitsAndText) {
    BitString b(13, {0x0F, 0xA0});
    std::vector<bool> expected = {0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(b.getBytes(), expected);
    EXPECT_EQ(b.to_string(), "0FA0");
    EXPECT_EQ(BitString().to_string(), "");
}

TEST(Asn1Decoders, PrpTrailer) {
    PRP p({0xFF, 0x12, 0x34, 0xA0, 0x3C}, 1);
    EXPECT_EQ(p.SequenceNumber(), 4660);
    EXPECT_EQ(p.LAN(), 10);
    EXPECT_EQ(p.LSDUsize(), 60);
    EXPECT_EQ(p.to_string(), "LAN A (10)");
    EXPECT_EQ(PRP({0, 0, 0xB0, 0}, 0).to_string(), "LAN B (11)");
    EXPECT_EQ(PRP({0, 0, 0x30, 0}, 0).to_string(), "null (3)");
}

TEST(Asn1Decoders, UtcTimeFractionsAndTicks) {
    // 1 000 000 000 s, fraction one half, accuracy field 0 (whole fraction).
    UtcTime half({0x3B, 0x9A, 0xCA, 0x00, 0x80, 0x00, 0x00, 0x00}, 0);
    EXPECT_EQ(half.Accuracy(), 24);
    EXPECT_EQ(half.Fractions(), 0x800000);
    EXPECT_EQ(half.Ticks100Nanoseconds(), 1000000000LL * 10000000 + 5000000);

    // Accuracy of 10 bits: the fraction keeps its top ten bits.
    UtcTime coarse({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0x0A}, 0);
    EXPECT_EQ(coarse.Accuracy(), 10);
    EXPECT_EQ(coarse.Fractions(), 0x3FF);
    EXPECT_EQ(coarse.Ticks100Nanoseconds(), 10000000 + 9990234); // 1023/1024 s, rounded

    // Accuracy 31 (unspecified) reads the whole fraction.
    UtcTime unspecified({0, 0, 0, 0, 0x40, 0, 0, 0x1F}, 0);
    EXPECT_EQ(unspecified.Ticks100Nanoseconds(), 2500000);

    // Too few bytes after the offset leave the value 0.
    UtcTime shortData({1, 2, 3, 4, 5, 6, 7, 8}, 1);
    EXPECT_EQ(shortData.value, 0u);
    EXPECT_EQ(shortData.Ticks100Nanoseconds(), 0);
}
