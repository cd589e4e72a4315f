// The capture's pieces without a network: the PCAP file writer, the arrival-order stage and the
// decoders the frame decoder prints with.
#include "support/TempDir.h"
#include "capture/ArrivalOrder.h"
#include "capture/Asn1Decoders.h"
#include "capture/PacketCapturer.h"
#include "capture/PcapFile.h"
#include "support/Dumpcap.h"
#include "support/Tshark.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

using namespace VorIec61850;
using namespace VorIec61850::ASN1;
using iecx::test::TempDir;

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A GOOSE-typed frame whose payload bytes count up from `seed`.
std::vector<uint8_t> frame(uint8_t seed, size_t size = 60) {
    return iecx::test::testFrame(0x88B8, size, seed);
}

CapturedFrame record(const std::vector<uint8_t>& bytes, uint32_t originalLength, uint32_t s, uint32_t ns) {
    CapturedFrame f;
    f.data = bytes.data();
    f.length = static_cast<uint32_t>(bytes.size());
    f.originalLength = originalLength;
    f.seconds = s;
    f.nanoseconds = ns;
    return f;
}

} // namespace

TEST(PcapWriter, HeaderThenOneRecordPerFrameAppendedToAnExistingFile) {
    TempDir dir;
    const std::string path = dir.path() + "/a.pcap";
    auto a = frame(1), b = frame(7, 100);
    {
        PcapFile file;
        ASSERT_TRUE(file.open(path, 0)) << file.error();
        ASSERT_TRUE(file.append(record(a, 60, 1, 500000000)));
        // A frame cut to its first 100 bytes keeps its length on the wire.
        ASSERT_TRUE(file.append(record(b, 9000, 2, 7)));
        EXPECT_EQ(readFile(path).size(), 24u + 16 + 60 + 16 + 100) << "on disk after every record";
    }
    {
        // A second run into the same file (same second, same interface) appends records only.
        PcapFile file;
        ASSERT_TRUE(file.open(path, 0));
        ASSERT_TRUE(file.append(record(a, 60, 3, 0)));
    }
    auto bytes = readFile(path);
    const std::vector<uint8_t> globalHeader = {0x4D, 0x3C, 0xB2, 0xA1, 2,    0,    4, 0, 0, 0, 0, 0,
                                               0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24), globalHeader);
    auto contents = iecx::test::readPcap(path);
    ASSERT_TRUE(contents.ok);
    ASSERT_EQ(contents.records.size(), 3u);
    EXPECT_EQ(contents.records[0].timeNs, 1500000000);
    EXPECT_EQ(contents.records[0].bytes, a);
    EXPECT_EQ(contents.records[1].originalLength, 9000u);
    EXPECT_EQ(contents.records[1].bytes, b);
    EXPECT_EQ(contents.records[2].timeNs, 3000000000);

    // A snapshot length above 65535 (jumbo frames on lo) goes into the header.
    PcapFile big;
    ASSERT_TRUE(big.open(dir.path() + "/b.pcap", 65554));
    EXPECT_EQ(iecx::test::readPcap(dir.path() + "/b.pcap").snapLength, 65554u);
}

TEST(PcapWriter, CapturerNamesItsFilesAndReportsAFrameWithoutAFile) {
    setenv("TZ", "UTC", 1);
    tzset();
    // The library's rule: the interface unchanged, day.month.year, a blank, hours_minutes_seconds.
    EXPECT_EQ(PacketCapturer::captureFileName("/d", "eth 1", 1764960591),
              "/d/eth 1_dump_05.12.2025 18_49_51.pcap");

    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path());
    capturer.setOutputPath(dir.path() + "/c.pcap");
    EXPECT_FALSE(capturer.startPacketCapturer("iecx-no-such-if", ""));
    EXPECT_EQ(capturer.getFilePath(), "") << "a run that did not start names no file";
    auto f = frame(0);
    capturer._writePacketToPcap(f.data(), 60, 0, 0); // no file: a failure the caller sees, no crash
    EXPECT_NE(capturer.getLastError().find("cannot open"), std::string::npos) << capturer.getLastError();
}

TEST(ArrivalOrder, FramesLeaveOldestFirstAfterTheWindowAndTimeNeverGoesBack) {
    struct Step {
        int64_t addNs; // a frame stamped at this time (-1: none)
        int64_t nowNs; // then a release at this time
        bool all;      // release everything
        std::vector<int64_t> released;
    };
    const int64_t w = 1000; // the window
    const std::vector<Step> steps = {
        {5000, 5500, false, {}},          // inside the window: held
        {4000, 5999, false, {4000}},      // an earlier frame read later goes first
        {-1, 6000, false, {5000}},        // the window has passed for the other
        {6000, 8000, false, {6000}},      //
        {5900, 9000, false, {6000}},      // later than one already out: takes its time
        {9500, 9600, false, {}},          //
        {9500, 9600, true, {9500, 9500}}, // equal stamps keep their order; all on stop
    };
    ArrivalOrder order(w);
    int index = 0;
    for (const auto& step : steps) {
        if (step.addNs >= 0) {
            std::vector<uint8_t> bytes(20, static_cast<uint8_t>(index));
            order.add(bytes.data(), 20, 64, step.addNs);
        }
        std::vector<int64_t> released;
        order.release(step.nowNs, step.all, [&](const CapturedFrame* frames, size_t count) {
            for (size_t i = 0; i < count; ++i) {
                EXPECT_EQ(frames[i].length, 20u);
                EXPECT_EQ(frames[i].originalLength, 64u);
                released.push_back(int64_t(frames[i].seconds) * 1000000000 + frames[i].nanoseconds);
            }
        });
        EXPECT_EQ(released, step.released) << "step " << index;
        ++index;
    }
    EXPECT_EQ(order.held(), 0u);
    EXPECT_EQ(order.holdNs(), w) << "100 ns late: twice that is still inside the window";
    std::vector<uint8_t> late(10);
    order.add(late.data(), 10, 10, 9000); // 500 ns behind the last frame out
    order.release(0, true, [](const CapturedFrame*, size_t) {});
    EXPECT_EQ(order.holdNs(), 1000) << "max(window, 2 x 500)";
    order.add(late.data(), 10, 10, 1000);
    order.release(0, true, [](const CapturedFrame*, size_t) {});
    EXPECT_EQ(order.holdNs(), 2 * (9500 - 1000));
    EXPECT_EQ(order.nextDueNs(0), -1);
    std::vector<uint8_t> bytes(10);
    order.add(bytes.data(), 10, 10, 3500000000LL); // 3.5 s: seconds and nanoseconds split
    EXPECT_EQ(order.nextDueNs(3500000000LL), order.holdNs());
    order.release(0, true, [](const CapturedFrame* f, size_t count) {
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(f->seconds, 3u);
        EXPECT_EQ(f->nanoseconds, 500000000u);
    });
}

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
