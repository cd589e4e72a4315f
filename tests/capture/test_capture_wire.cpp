// Capture over a veth pair: frames published on one end are captured on the other into PCAP,
// and tshark's dissectors read the file back.
#include "capture/PacketCapturer.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "goose_publisher.h"
#include "hal_ethernet.h"
#include "linked_list.h"
#include "mms_value.h"
#include "sv_publisher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <mutex>
#include <set>
#include <unistd.h>

using VorIec61850::PacketCapturer;
using namespace iecx::test;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/iecx-capture-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

void publishGoose(const std::string& iface, int count) {
    CommParameters params{};
    params.appId = 0x1001;
    params.vlanId = 0;
    params.vlanPriority = 4;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x10};
    std::copy(dst, dst + 6, params.dstAddress);
    GoosePublisher publisher = GoosePublisher_create(&params, iface.c_str());
    ASSERT_NE(publisher, nullptr);
    char goCbRef[] = "IED1LD0/LLN0$GO$gcb01";
    char dataSet[] = "IED1LD0/LLN0$DS1";
    char goId[] = "IED1_GOOSE1";
    GoosePublisher_setGoCbRef(publisher, goCbRef);
    GoosePublisher_setDataSetRef(publisher, dataSet);
    GoosePublisher_setGoID(publisher, goId);
    GoosePublisher_setConfRev(publisher, 1);
    GoosePublisher_setTimeAllowedToLive(publisher, 2000);
    LinkedList values = LinkedList_create();
    LinkedList_add(values, MmsValue_newBoolean(true));
    LinkedList_add(values, MmsValue_newIntegerFromInt32(42));
    for (int i = 0; i < count; ++i)
        GoosePublisher_publish(publisher, values);
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    GoosePublisher_destroy(publisher);
}

void publishSv(const std::string& iface, int count) {
    CommParameters params{};
    params.appId = 0x4000;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};
    std::copy(dst, dst + 6, params.dstAddress);
    SVPublisher publisher = SVPublisher_create(&params, iface.c_str());
    ASSERT_NE(publisher, nullptr);
    SVPublisher_ASDU asdu = SVPublisher_addASDU(publisher, "MU01", nullptr, 1);
    int channel = SVPublisher_ASDU_addINT32(asdu);
    SVPublisher_ASDU_addQuality(asdu);
    SVPublisher_setupComplete(publisher);
    for (int i = 0; i < count; ++i) {
        SVPublisher_ASDU_setINT32(asdu, channel, i * 100);
        SVPublisher_ASDU_setSmpCnt(asdu, static_cast<uint16_t>(i));
        SVPublisher_publish(publisher);
    }
    SVPublisher_destroy(publisher);
}

// An IPv4-typed frame that only a promiscuous capture should record.
void sendOtherFrame(const std::string& iface) {
    EthernetSocket s = Ethernet_createSocket(iface.c_str(), nullptr);
    ASSERT_NE(s, nullptr);
    uint8_t frame[60] = {0x02, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0x02, 0x08, 0x00};
    Ethernet_sendPacket(s, frame, sizeof frame);
    Ethernet_destroySocket(s);
}

bool waitFor(const std::atomic<int>& counter, int expected) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (counter < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Give a stray late frame a moment to show up, so that "exactly" checks mean something.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return counter >= expected;
}

} // namespace

TEST(CaptureWire, GooseFramesLandInPcapThatTsharkDecodes) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path);
    std::atomic<int> frames{0};
    capturer.packetReceived.connect([&](const uint8_t*, int32_t, uint32_t, uint32_t) { ++frames; });
    capturer.startPacketCapturer(veth.b().c_str(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    publishGoose(veth.a(), 20);
    sendOtherFrame(veth.a());
    ASSERT_TRUE(waitFor(frames, 20));
    capturer.stopPacketCapturer();
    EXPECT_EQ(frames, 20) << "only GOOSE and SV frames are captured outside promiscuous mode";

    const std::string path = capturer.getFilePath();
    EXPECT_NE(path.find("/" + veth.b() + "_dump_"), std::string::npos);
    IECX_REQUIRE_TSHARK();
    auto decoded = Tshark::decode(path);
    ASSERT_TRUE(decoded.ran);
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_FALSE(Tshark::hasMalformed(decoded.out)) << decoded.out;
    auto fields = Tshark::fields(path, {"goose.appid", "goose.gocbRef", "vlan.priority"});
    auto lines = Tshark::lines(fields.out);
    ASSERT_EQ(lines.size(), 20u) << fields.out << fields.err;
    EXPECT_EQ(lines[0], "0x1001|IED1LD0/LLN0$GO$gcb01|4");
}

TEST(CaptureWire, GooseAndSvArriveTogetherFromTwoThreads) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path);
    std::atomic<int> goose{0}, sv{0};
    std::mutex threadsMutex;
    std::set<std::thread::id> threads;
    capturer.packetReceived.connect([&](const uint8_t* frame, int32_t length, uint32_t, uint32_t) {
        ASSERT_GE(length, 14);
        uint16_t type = static_cast<uint16_t>(frame[12] << 8 | frame[13]);
        if (type == 0x8100 && length >= 18)
            type = static_cast<uint16_t>(frame[16] << 8 | frame[17]);
        (type == 0x88B8 ? goose : sv)++;
        std::lock_guard<std::mutex> lock(threadsMutex);
        threads.insert(std::this_thread::get_id());
    });
    capturer.startPacketCapturer(veth.b().c_str(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread svSender([&] { publishSv(veth.a(), 50); });
    publishGoose(veth.a(), 50);
    svSender.join();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (goose + sv < 100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    capturer.stopPacketCapturer();
    EXPECT_EQ(goose, 50);
    EXPECT_EQ(sv, 50);
    EXPECT_EQ(threads.size(), 2u);

    IECX_REQUIRE_TSHARK();
    auto decoded = Tshark::decode(capturer.getFilePath());
    EXPECT_FALSE(Tshark::hasMalformed(decoded.out)) << decoded.out;
    auto svIds = Tshark::lines(Tshark::fields(capturer.getFilePath(), {"sv.svID"}, "sv").out);
    ASSERT_EQ(svIds.size(), 50u);
    EXPECT_EQ(svIds.front(), "MU01");
}

TEST(CaptureWire, PromiscuousCaptureRecordsEveryFrame) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    PacketCapturer capturer;
    capturer.initPacketCapture(dir.path);
    capturer.setPcapPromiscuousMode(true);
    std::atomic<int> frames{0};
    capturer.packetReceived.connect([&](const uint8_t*, int32_t, uint32_t, uint32_t) { ++frames; });
    capturer.startPacketCapturer(veth.b().c_str(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    publishGoose(veth.a(), 3);
    sendOtherFrame(veth.a());
    ASSERT_TRUE(waitFor(frames, 4));
    capturer.stopPacketCapturer();
    EXPECT_EQ(frames, 4);

    IECX_REQUIRE_TSHARK();
    auto types = Tshark::lines(Tshark::fields(capturer.getFilePath(), {"eth.type"}).out);
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types.back(), "0x0800");
}

TEST(CaptureWire, CliCapturesUntilCountAndNamesTheFile) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    std::string out = dir.path + "/out.txt";
    std::string cmd = std::string(IECX_CLI_PATH) + " capture " + veth.b() + " --dir " + dir.path +
                      " --count 5 --seconds 10 > " + out + " 2>/dev/null";
    std::thread cli([&] { EXPECT_EQ(std::system(cmd.c_str()), 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    publishGoose(veth.a(), 5);
    cli.join();
    std::ifstream in(out);
    std::string path;
    std::getline(in, path);
    EXPECT_NE(path.find(veth.b() + "_dump_"), std::string::npos);
    EXPECT_TRUE(std::ifstream(path).good()) << path;

    EXPECT_NE(std::system((std::string(IECX_CLI_PATH) + " capture 2>/dev/null").c_str()), 0);
    EXPECT_EQ(
        WEXITSTATUS(std::system((std::string(IECX_CLI_PATH) + " capture no-such-if0 2>/dev/null").c_str())),
        1);
}
