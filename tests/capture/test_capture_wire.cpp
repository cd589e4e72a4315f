// Capture over a veth pair next to dumpcap on the same interface: the same frames byte for byte,
// kernel time stamps that agree with dumpcap's and never go backwards, jumbo frames whole, the
// kernel's counters, and a file that tshark reads while the capture runs. Then `iecx capture` end
// to end: file names, counters in text and JSON, files it cannot write, and an MMS session with
// the simulated IED captured next to GOOSE and decoded by tshark.
#include "capture/PacketCapturer.h"
#include "support/CliRun.h"
#include "support/Dumpcap.h"
#include "support/SimIed.h"
#include "support/TempDir.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include "goose_publisher.h"
#include "hal_ethernet.h"
#include "iec61850_client.h"
#include "linked_list.h"
#include "mms_value.h"
#include "sv_publisher.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using VorIec61850::PacketCapturer;
using namespace iecx::test;

namespace {

// `count` GOOSE frames (sqNum counts up: every frame differs), tagged unless `vlanPriority` and
// the VLAN are 0.
void publishGoose(const std::string& iface, int count, uint8_t vlanPriority = 4) {
    CommParameters params{};
    params.appId = 0x1001;
    params.vlanPriority = vlanPriority; // tagged: the kernel removes the tag, the capture puts it back
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
        GoosePublisher_publish(publisher, values); // sqNum counts up: every frame differs
    LinkedList_destroyDeep(values, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    GoosePublisher_destroy(publisher);
}

// `count` SV frames of one ASDU, smpCnt 0, 1, ...
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

// Runs `iecx capture <args>` in the background while `traffic` runs, once the file exists.
CliRun captureDuring(const std::string& args, const std::string& file, const std::function<void()>& traffic) {
    CliRun result;
    std::thread cli([&] { result = runCli("capture " + args); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(file.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    traffic();
    cli.join();
    return result;
}

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

TEST(CaptureCli, CountsAndJsonNameWithoutBlanksAndErrors) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    TempDir dir;
    const std::string file = dir.path() + "/five.pcap";
    auto r = captureDuring(veth.b() + " -o " + file + " --count 5 --seconds 10 --json", file,
                           [&] { publishGoose(veth.a(), 5, 0); });
    EXPECT_EQ(r.status, 0) << r.err;
    auto summary = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(summary.is_discarded()) << r.out;
    EXPECT_EQ(summary["file"], file);
    EXPECT_EQ(summary["captured"], 5);
    EXPECT_EQ(summary["seen"], 5);
    EXPECT_EQ(summary["dropped"], 0);
    EXPECT_EQ(summary["snaplen"], 1518) << "a veth's MTU of 1 500 with header and tag";
    EXPECT_EQ(readPcap(file).records.size(), 5u);

    // The default name follows the library's rule without the blank.
    r = runCli("capture " + veth.b() + " --dir " + dir.path() + " --seconds 0.2");
    EXPECT_EQ(r.status, 0) << r.err;
    auto lines = Tshark::lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0].rfind(dir.path() + "/" + veth.b() + "_dump_", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].find(' '), std::string::npos) << lines[0];
    EXPECT_TRUE(readPcap(lines[0]).ok);
    EXPECT_EQ(lines[1], "0 frames captured, 0 seen by the kernel, 0 dropped");

    r = runCli("capture " + veth.b() + " -o /dev/full --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write '/dev/full'"), std::string::npos) << r.err;
    r = runCli("capture " + veth.b() + " -o " + dir.path() + "/missing/x.pcap --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
    EXPECT_EQ(runCli("capture no-such-if0 --seconds 1").status, 1);
    EXPECT_EQ(runCli("capture").status, 2);
    EXPECT_EQ(runCli("capture " + veth.b() + " --snaplen 5").status, 2);
    EXPECT_EQ(runCli("capture " + veth.b() + " -o a --dir b").status, 2);
}

// A session with the simulated IED using every kind of service (browsing, reads with and without
// an alternate access, a refused write, control blocks, identify, reports, conclude), captured by
// `iecx capture --mms` on lo: only the peer's IP frames are in the file, and tshark's MMS dissector
// decodes every PDU without errors.
TEST(CaptureCli, MmsSessionWithTheSimulatedIedDecodesInTshark) {
    if (!haveNetworkRights())
        GTEST_SKIP() << "raw sockets need root";
    IECX_REQUIRE_TSHARK();
    // A loopback address of its own, so that other tests' traffic on lo stays out.
    const std::string host = "127.0.0." + std::to_string(100 + getpid() % 100);
    SimIed sim(simData("simple.cid"), "SIMIED", "", host);
    ASSERT_TRUE(sim.ok()) << sim.error();
    TempDir dir;
    const std::string file = dir.path() + "/mms.pcap";
    std::atomic<int> reports{0};
    auto r = captureDuring("lo --mms " + host + " -o " + file + " --seconds 3", file, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        IedClientError err;
        IedConnection con = IedConnection_create();
        IedConnection_connect(con, &err, host.c_str(), sim.port());
        ASSERT_EQ(err, IED_ERROR_OK);
        LinkedList_destroy(IedConnection_getServerDirectory(con, &err, false));
        LinkedList_destroy(IedConnection_getLogicalDeviceDirectory(con, &err, "SIMIEDLD0"));
        LinkedList_destroy(
            IedConnection_getLogicalNodeDirectory(con, &err, "SIMIEDLD0/LLN0", ACSI_CLASS_DATA_SET));
        LinkedList_destroy(IedConnection_getDataSetDirectory(con, &err, "SIMIEDLD0/LLN0.Status", nullptr));
        MmsVariableSpecification_destroy(
            IedConnection_getVariableSpecification(con, &err, "SIMIEDLD0/GGIO1.AnIn1", IEC61850_FC_MX));
        MmsValue_delete(IedConnection_readObject(con, &err, "SIMIEDLD0/LLN0", IEC61850_FC_ST));
        MmsValue_delete(
            IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Harm.har(2).mag.f", IEC61850_FC_MX));
        MmsValue_deleteIfNotNull(
            IedConnection_readObject(con, &err, "SIMIEDLD0/GGIO1.Nothing", IEC61850_FC_ST));
        IedConnection_writeBooleanValue(con, &err, "SIMIEDLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST, true);
        ClientGooseControlBlock_destroy(
            IedConnection_getGoCBValues(con, &err, "SIMIEDLD0/LLN0.GO.gcbStatus", nullptr));
        MmsServerIdentity_destroy(MmsConnection_identify(IedConnection_getMmsConnection(con), nullptr));
        ClientReportControlBlock rcb =
            IedConnection_getRCBValues(con, &err, "SIMIEDLD0/LLN0.RP.urcbStatus01", nullptr);
        ASSERT_NE(rcb, nullptr);
        IedConnection_installReportHandler(
            con, "SIMIEDLD0/LLN0.RP.urcbStatus01", "StatusRpt",
            [](void* count, ClientReport) { ++*static_cast<std::atomic<int>*>(count); }, &reports);
        ClientReportControlBlock_setRptEna(rcb, true);
        ClientReportControlBlock_setGI(rcb, true);
        IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA | RCB_ELEMENT_GI, true);
        ClientReportControlBlock_destroy(rcb);
        sim.ied().changeValuesEvery(50);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sim.ied().changeValuesEvery(0);
        IedConnection_close(con); // conclude and release
        IedConnection_destroy(con);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(reports.load(), 1);

    // GOOSE and SV of other programs on lo may be in the file too; of IP only the peer's.
    auto all = Tshark::fields(file, {"ip.src", "ip.dst"}, "ip && !(ip.addr == " + host + ")");
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "") << "only the peer's IP frames are captured";
    auto syn = Tshark::lines(Tshark::fields(file, {"tcp.flags.syn"}, "tcp.flags.syn == 1").out);
    EXPECT_EQ(syn.size(), 2u) << "SYN and SYN-ACK once each: lo's sent copies are left out";
    auto decoded = Tshark::decode(file, {"-V", "-d", "tcp.port==" + std::to_string(sim.port()) + ",tpkt"});
    ASSERT_TRUE(decoded.ran) << decoded.err;
    EXPECT_FALSE(Tshark::hasMalformed(decoded.out)) << decoded.out.substr(0, 20000);
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = decoded.out.find(what); at != std::string::npos; at = decoded.out.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_GE(count("informationReport"), 2u);
    EXPECT_GE(count("confirmedServiceRequest: "), 7u);
    EXPECT_GE(count("getNameList"), 3u);
    EXPECT_GE(count("ISO 8650-1 OSI Association Control Service"), 2u); // AARQ/AARE, release
    EXPECT_GE(count("confirmedServiceRequest: getVariableAccessAttributes"), 1u);
    EXPECT_GE(count("confirmedServiceRequest: write"), 1u);
}
