// Capture over a veth pair next to dumpcap on the same interface: the same frames byte for byte,
// kernel time stamps that agree with dumpcap's and never go backwards, jumbo frames whole, the
// kernel's counters, and a file that tshark reads while the capture runs.
#include "support/TempDir.h"
#include "capture/PacketCapturer.h"
#include "test_capture_traffic.h"
#include "support/Dumpcap.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "hal_ethernet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using VorIec61850::PacketCapturer;
using namespace iecx::test;
using namespace capturetest;

namespace {

// A raw frame of `size` bytes and EtherType `type` whose payload counts from `seed`.
void sendRaw(const std::string& iface, uint16_t type, size_t size, uint8_t seed) {
    EthernetSocket s = Ethernet_createSocket(iface.c_str(), nullptr);
    ASSERT_NE(s, nullptr);
    std::vector<uint8_t> frame = testFrame(type, size, seed);
    Ethernet_sendPacket(s, frame.data(), static_cast<int>(size));
    Ethernet_destroySocket(s);
}

uint16_t etherType(const std::vector<uint8_t>& f) {
    uint16_t type = static_cast<uint16_t>(f[12] << 8 | f[13]);
    if (type == 0x8100 && f.size() >= 18)
        type = static_cast<uint16_t>(f[16] << 8 | f[17]);
    return type;
}

// Traffic of every kind the capture has to keep: GOOSE (tagged) and SV from two threads at
// once, a jumbo SV-typed frame, and an IPv4-typed frame that only promiscuous mode records.
constexpr int kGooseFrames = 300;
constexpr int kSvFrames = 300;
constexpr size_t kJumbo = 9000;
void sendMixedTraffic(const std::string& iface) {
    std::thread sv([&] { publishSv(iface, kSvFrames); });
    publishGoose(iface, kGooseFrames);
    sv.join();
    sendRaw(iface, 0x88BA, kJumbo, 7);
    sendRaw(iface, 0x0800, 60, 3);
}

struct ReferenceCase {
    const char* name;
    bool promiscuous;
    uint32_t snapLength;
};

class CaptureAgainstDumpcap : public ::testing::TestWithParam<ReferenceCase> {};

} // namespace

TEST_P(CaptureAgainstDumpcap, SameFramesTimesAndCounters) {
    const ReferenceCase& c = GetParam();
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    IECX_REQUIRE_DUMPCAP();
    ASSERT_TRUE(Veth::ip({"link", "set", "dev", veth.a(), "mtu", "9000"}));
    ASSERT_TRUE(Veth::ip({"link", "set", "dev", veth.b(), "mtu", "9000"}));
    TempDir dir;
    const std::string oursPath = dir.path() + "/ours.pcap", theirsPath = dir.path() + "/dumpcap.pcap";
    Dumpcap dumpcap(veth.b(), theirsPath);
    ASSERT_TRUE(dumpcap.ok()) << dumpcap.error();

    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path());
    capturer.setOutputPath(oursPath);
    capturer.setPcapPromiscuousMode(c.promiscuous);
    capturer.setSnapLength(c.snapLength);
    ASSERT_TRUE(capturer.startPacketCapturer(veth.b().c_str(), "")) << capturer.getLastError();
    EXPECT_EQ(capturer.getSnapLength(), c.snapLength ? c.snapLength : 9018u);
    sendMixedTraffic(veth.a());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    capturer.stopPacketCapturer();
    dumpcap.stop();

    auto ours = readPcap(oursPath), theirs = readPcap(theirsPath);
    ASSERT_TRUE(ours.ok);
    ASSERT_TRUE(theirs.ok);
    EXPECT_TRUE(ours.nanosecond);
    // dumpcap's frames of the kinds this mode captures, by content (every frame differs).
    std::multimap<std::vector<uint8_t>, PcapRecord> reference;
    for (auto& r : theirs.records) {
        uint16_t type = etherType(r.bytes);
        if (c.promiscuous || type == 0x88B8 || type == 0x88BA) {
            if (c.snapLength && r.bytes.size() > c.snapLength)
                r.bytes.resize(c.snapLength);
            reference.emplace(r.bytes, r);
        }
    }
    const size_t expected = kGooseFrames + kSvFrames + 1 + (c.promiscuous ? 1 : 0);
    EXPECT_EQ(reference.size(), expected) << "dumpcap missed frames";
    ASSERT_EQ(ours.records.size(), expected);
    int64_t previous = 0;
    size_t apart = 0;
    size_t jumbo = 0, tagged = 0;
    for (const auto& r : ours.records) {
        EXPECT_GE(r.timeNs, previous) << "time went backwards";
        previous = r.timeNs;
        auto match = reference.find(r.bytes);
        ASSERT_NE(match, reference.end()) << "a frame dumpcap did not see, " << r.bytes.size() << " bytes";
        EXPECT_EQ(r.originalLength, match->second.originalLength);
        apart += std::llabs(r.timeNs - match->second.timeNs) > 50000;
        reference.erase(match);
        jumbo += r.originalLength == kJumbo;
        tagged += r.bytes.size() >= 14 && r.bytes[12] == 0x81 && r.bytes[13] == 0x00;
    }
    // A frame the kernel hands over after frames stamped later, and later than the order window,
    // takes their time so that time in the file never goes backwards: on a heavily loaded
    // machine one or two may; every other stamp is the one dumpcap recorded.
    EXPECT_LE(apart, 2u) << "frames more than 50 us from dumpcap's time stamp";
    EXPECT_EQ(jumbo, 1u);
    EXPECT_EQ(tagged, static_cast<size_t>(kGooseFrames));

    auto counters = capturer.getCounters();
    EXPECT_EQ(counters.captured, expected);
    EXPECT_EQ(counters.seen, expected);
    EXPECT_EQ(counters.dropped, 0u);

    IECX_REQUIRE_TSHARK();
    auto decoded =
        Tshark::fields(oursPath, {"frame.len", "frame.cap_len", "_ws.malformed"}, "frame.len == 9000");
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_EQ(Tshark::lines(decoded.out),
              std::vector<std::string>{"9000|" + std::to_string(c.snapLength ? c.snapLength : kJumbo) + "|"});
}

INSTANTIATE_TEST_SUITE_P(Modes, CaptureAgainstDumpcap,
                         ::testing::Values(ReferenceCase{"GooseAndSv", false, 0},
                                           ReferenceCase{"Promiscuous", true, 0},
                                           ReferenceCase{"SnapLength", true, 128}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureWire, TsharkReadsTheFileWhileTheCaptureRuns) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    IECX_REQUIRE_TSHARK();
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path());
    ASSERT_TRUE(capturer.startPacketCapturer(veth.b().c_str(), "")) << capturer.getLastError();
    const std::string path = capturer.getFilePath();
    EXPECT_NE(path.find("/" + veth.b() + "_dump_"), std::string::npos) << "the library keeps its naming rule";
    std::atomic<bool> sending{true};
    // Frames keep coming while tshark reads (at most 30 s, 1 500 bursts of 20 frames).
    std::thread sender([&] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int i = 0; i < 1500 && sending && std::chrono::steady_clock::now() < end; ++i) {
            publishSv(veth.a(), 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    size_t last = 0;
    for (int read = 0; read < 2; ++read) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        auto r = Tshark::fields(path, {"sv.smpCnt"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
        size_t frames = Tshark::lines(r.out).size();
        EXPECT_GT(frames, last) << "read " << read;
        last = frames;
    }
    sending = false;
    sender.join();
    capturer.stopPacketCapturer();
}

TEST(CaptureWire, FileThatCannotBeWrittenEndsTheCaptureWithAnError) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    // The file fills up in the middle of the capture (a file size limit stands in for a full disk).
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path());
    ASSERT_TRUE(capturer.startPacketCapturer(veth.b().c_str(), "")) << capturer.getLastError();
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    // Frame by frame, so that some records are written before the limit is reached.
    for (int i = 0; i < 200 && capturer.isCapturing(); ++i) {
        publishGoose(veth.a(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(capturer.isCapturing());
    EXPECT_NE(capturer.getLastError().find("cannot write"), std::string::npos) << capturer.getLastError();
    capturer.stopPacketCapturer();
    auto contents = readPcap(capturer.getFilePath());
    EXPECT_TRUE(contents.ok) << "the file ends with a whole record";
    EXPECT_GT(contents.records.size(), 0u);
    EXPECT_LT(contents.records.size(), 200u);
}

TEST(CaptureWire, StartsThatCannotWorkAreRefused) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path());
    EXPECT_FALSE(capturer.startEthernetCapture(&capturer)) << "no socket yet";
    EXPECT_FALSE(capturer.createSockets("iecx-no-such-if", ""));
    EXPECT_NE(capturer.getLastError().find("iecx-no-such-if"), std::string::npos);
    EXPECT_FALSE(capturer.startPacketCapturer("iecx-no-such-if", ""));
    EXPECT_FALSE(capturer.startMmsCapture("iecx-no-such-if"));

    ASSERT_TRUE(capturer.startPacketCapturer(veth.b().c_str(), ""));
    EXPECT_FALSE(capturer.startPacketCapturer(veth.b().c_str(), ""));
    EXPECT_EQ(capturer.getLastError(), "a capture is already running");
    EXPECT_FALSE(capturer.startEthernetCapture(&capturer));
    EXPECT_FALSE(capturer.createSockets(veth.b().c_str(), ""));
    const uint8_t peer[4] = {127, 0, 0, 1};
    capturer.setPeerIp(peer);
    EXPECT_TRUE(capturer.startMmsCapture(veth.b().c_str()));
    EXPECT_FALSE(capturer.startMmsCapture(veth.b().c_str()));
    EXPECT_TRUE(capturer.isCapturing());
    publishGoose(veth.a(), 5);
    capturer.stopMmsCapture();
    capturer.stopPacketCapturer();
    EXPECT_FALSE(capturer.isCapturing());
    EXPECT_EQ(capturer.getCounters().captured, 5u) << "frames of a refused start are not lost";
    // A stopped capturer starts again.
    ASSERT_TRUE(capturer.startPacketCapturer(veth.b().c_str(), "")) << capturer.getLastError();
    capturer.stopPacketCapturer();
}
