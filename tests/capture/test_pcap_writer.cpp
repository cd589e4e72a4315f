#include "capture/PacketCapturer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

using VorIec61850::PacketCapturer;

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/iecx-pcap-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

// A 60-byte GOOSE-typed frame whose payload bytes count up from `seed`.
std::vector<uint8_t> frame(uint8_t seed, size_t size = 60) {
    std::vector<uint8_t> f(size);
    const uint8_t header[14] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01, 0x02, 0, 0, 0, 0, 1, 0x88, 0xB8};
    std::copy(header, header + 14, f.begin());
    for (size_t i = 14; i < size; ++i)
        f[i] = static_cast<uint8_t>(seed + i);
    return f;
}

} // namespace

TEST(PcapWriter, FirstFrameCreatesHeaderLaterFramesAppendRecords) {
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path);
    // A run on a missing interface opens no sockets but names the file.
    capturer.startPacketCapturer("iecx-no-such-if", "");
    capturer.stopPacketCapturer();
    const std::string path = capturer.getFilePath();
    ASSERT_EQ(path.rfind(dir.path + "/iecx-no-such-if_dump_", 0), 0u) << path;
    ASSERT_EQ(path.substr(path.size() - 5), ".pcap");

    auto a = frame(1), b = frame(7, 1518);
    capturer.packetReceived.emit(a.data(), 60, 1, 500000000);
    capturer.packetReceived.emit(b.data(), 1518, 2, 7);

    auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 24u + 16 + 60 + 16 + 1518);
    const std::vector<uint8_t> globalHeader = {0x4D, 0x3C, 0xB2, 0xA1, 2,    0,    4, 0, 0, 0, 0, 0,
                                               0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24), globalHeader);
    EXPECT_EQ(le32(bytes, 24), 1u);
    EXPECT_EQ(le32(bytes, 28), 500000000u);
    EXPECT_EQ(le32(bytes, 32), 60u);
    EXPECT_EQ(le32(bytes, 36), 60u);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin() + 40));
    EXPECT_EQ(le32(bytes, 100 + 8), 1518u);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), bytes.begin() + 100 + 16));
}

TEST(PcapWriter, ConcurrentWritersKeepRecordsWhole) {
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path);
    capturer.startPacketCapturer("iecx-no-such-if", "");
    capturer.stopPacketCapturer();
    constexpr int kPerThread = 200;
    auto writer = [&](uint8_t seed, size_t size) {
        auto f = frame(seed, size);
        for (int i = 0; i < kPerThread; ++i)
            capturer._writePacketToPcap(f.data(), static_cast<int32_t>(f.size()), i, 0);
    };
    std::thread t1(writer, 1, 60), t2(writer, 2, 300);
    t1.join();
    t2.join();
    auto bytes = readFile(capturer.getFilePath());
    size_t at = 24, records = 0;
    while (at + 16 <= bytes.size()) {
        uint32_t len = le32(bytes, at + 8);
        ASSERT_TRUE(len == 60 || len == 300) << "record " << records << " torn";
        ASSERT_EQ(le32(bytes, at + 12), len);
        uint8_t seed = len == 60 ? 1 : 2;
        ASSERT_EQ(bytes[at + 16 + 20], static_cast<uint8_t>(seed + 20));
        at += 16 + len;
        ++records;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(records, 2u * kPerThread);
}

TEST(PcapWriter, UnwritableDirectoryDropsFramesQuietly) {
    PacketCapturer capturer;
    capturer.initPacketCapture("/nonexistent-iecx-dir");
    capturer.startPacketCapturer("lo", "");
    capturer.stopPacketCapturer();
    auto f = frame(3);
    capturer.packetReceived.emit(f.data(), 60, 1, 0);
    EXPECT_FALSE(std::ifstream(capturer.getFilePath()).good());
}
