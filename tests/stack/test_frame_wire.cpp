// Frames across veth pairs: the raw Ethernet layer (interface binding, EtherType filter, VLAN tag
// recovery, sizes, the receive time-out and ring), then GOOSE and Sampled Values from our
// publishers to our receivers (and interfaces that do not exist). Broken frames are fed to the
// same receiver path in test_frame_codec.cpp.
#include "goose_publisher.h"
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "hal_ethernet.h"
#include "stack/src/ethernet/PacketSocket.h"
#include "sv_publisher.h"
#include "sv_subscriber.h"
#include "support/IedClient.h"
#include "support/Tshark.h"
#include "support/Veth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using iecx::test::testFrame;
using iecx::test::Veth;
using iecx::test::waitForCount;

namespace {

// Receives frames until `count` arrived or the time is up.
std::vector<std::vector<uint8_t>> receive(EthernetSocket s, size_t count, int ms = 1000,
                                          int bufferSize = 2048) {
    std::vector<std::vector<uint8_t>> got;
    std::vector<uint8_t> buf(static_cast<size_t>(bufferSize));
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        int n = Ethernet_receivePacket(s, buf.data(), bufferSize);
        if (n > 0)
            got.emplace_back(buf.begin(), buf.begin() + n);
    }
    return got;
}

// Counts a subscriber's deliveries.
void countDelivery(GooseSubscriber, void* count) {
    ++*static_cast<std::atomic<int>*>(count);
}

// A data set of an integer and a quality.
struct DataSet {
    LinkedList list = LinkedList_create();
    DataSet() {
        LinkedList_add(list, MmsValue_newIntegerFromInt32(0));
        LinkedList_add(list, MmsValue_newBitString(13));
    }
    ~DataSet() {
        LinkedList_destroyDeep(list, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    }
};

CommParameters params() {
    CommParameters p{};
    p.appId = 1;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    memcpy(p.dstAddress, dst, 6);
    return p;
}

GoosePublisher publisher(const std::string& ifname, const char* ref = "IED1LD0/LLN0$GO$gcb1") {
    CommParameters p = params();
    GoosePublisher pub = GoosePublisher_create(&p, ifname.c_str());
    if (pub) {
        GoosePublisher_setGoCbRef(pub, const_cast<char*>(ref));
        GoosePublisher_setDataSetRef(pub, const_cast<char*>("IED1LD0/LLN0$DS1"));
        GoosePublisher_setGoID(pub, const_cast<char*>("gcb1"));
        GoosePublisher_setTimeAllowedToLive(pub, 2000);
        GoosePublisher_setConfRev(pub, 1);
    }
    return pub;
}

GooseReceiver receiver(const std::string& ifname, std::atomic<int>* count,
                       const char* ref = "IED1LD0/LLN0$GO$gcb1") {
    GooseReceiver rx = GooseReceiver_create();
    GooseReceiver_setInterfaceId(rx, ifname.c_str());
    GooseSubscriber s = GooseSubscriber_create(const_cast<char*>(ref), nullptr);
    GooseSubscriber_setListener(s, countDelivery, count);
    GooseReceiver_addSubscriber(rx, s);
    return rx;
}

struct SvSeen {
    std::mutex mutex;
    std::atomic<int> count{0};
    std::vector<uint16_t> smpCnt;
    std::vector<int32_t> first;
    std::string svId;
};

void onAsdu(SVSubscriber, void* p, SVSubscriber_ASDU a) {
    auto* seen = static_cast<SvSeen*>(p);
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->smpCnt.push_back(SVSubscriber_ASDU_getSmpCnt(a));
    seen->first.push_back(SVSubscriber_ASDU_getINT32(a, 0));
    seen->svId = SVSubscriber_ASDU_getSvId(a);
    ++seen->count;
}

const uint8_t kDst[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x01};

struct Stream {
    SVPublisher pub = nullptr;
    SVPublisher_ASDU asdu[2] = {nullptr, nullptr};
    int value[2] = {0, 0};
    Stream(const std::string& ifname, uint16_t appId, const uint8_t* dst) {
        CommParameters p{};
        p.appId = appId;
        memcpy(p.dstAddress, dst, 6);
        pub = SVPublisher_create(&p, ifname.c_str());
        if (!pub)
            return;
        for (int i = 0; i < 2; ++i) {
            asdu[i] = SVPublisher_addASDU(pub, "MU01", nullptr, 1);
            value[i] = SVPublisher_ASDU_addINT32(asdu[i]);
            SVPublisher_ASDU_addQuality(asdu[i]);
            SVPublisher_ASDU_setSmpCntWrap(asdu[i], 4000);
        }
        SVPublisher_setupComplete(pub);
    }
    // One frame: two consecutive samples.
    void publish(int sample) {
        for (int i = 0; i < 2; ++i) {
            SVPublisher_ASDU_setSmpCnt(asdu[i], static_cast<uint16_t>((2 * sample + i) % 4000));
            SVPublisher_ASDU_setINT32(asdu[i], value[i], 2 * sample + i);
        }
        SVPublisher_publish(pub);
    }
    ~Stream() { SVPublisher_destroy(pub); }
};

} // namespace

TEST(EthernetSocket, FilterTagRecoveryAndSizes) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    EthernetSocket tx = Ethernet_createSocket(veth.a().c_str(), nullptr);
    EthernetSocket rx = Ethernet_createSocket(veth.b().c_str(), nullptr);
    ASSERT_NE(tx, nullptr);
    ASSERT_NE(rx, nullptr);
    Ethernet_setProtocolFilter(rx, 0x88B8);
    Ethernet_setMode(rx, ETHERNET_SOCKET_MODE_MULTICAST);

    // Silence: the receive returns 0 after its short wait.
    uint8_t buf[2048];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Ethernet_receivePacket(rx, buf, sizeof buf), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));

    auto sv = testFrame(0x88BA, 100, 1);
    auto plain = testFrame(0x88B8, 100, 2);
    auto tagged = testFrame(0x88B8, 104, 3, 0x123, 5);
    auto taggedSv = testFrame(0x88BA, 104, 4, 7, 1);
    auto full = testFrame(0x88B8, 1518, 5, 10, 4); // largest standard tagged frame
    for (auto* f : {&sv, &plain, &tagged, &taggedSv, &full})
        Ethernet_sendPacket(tx, f->data(), static_cast<int>(f->size()));
    auto got = receive(rx, 3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], plain);
    EXPECT_EQ(got[1], tagged) << "VLAN tag put back in place";
    EXPECT_EQ(got[2], full) << "a frame of 1518 bytes is delivered whole";
    EXPECT_TRUE(receive(rx, 1, 100).empty()) << "SV frames filtered out";

    // A buffer smaller than the frame gets its beginning.
    Ethernet_sendPacket(tx, full.data(), static_cast<int>(full.size()));
    got = receive(rx, 1, 1000, 100);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(std::equal(got[0].begin(), got[0].end(), full.begin()));

    // Frames the host sends on the filtered socket's own interface are not delivered to it.
    Ethernet_sendPacket(rx, plain.data(), static_cast<int>(plain.size()));
    EXPECT_TRUE(receive(rx, 1, 100).empty());

    uint8_t mac[6], zero[6] = {0};
    Ethernet_getInterfaceMACAddress(veth.a().c_str(), mac);
    EXPECT_NE(memcmp(mac, zero, 6), 0);
    Ethernet_getInterfaceMACAddress("ixnosuchif0", mac);
    EXPECT_EQ(memcmp(mac, zero, 6), 0);

    Ethernet_destroySocket(tx);
    Ethernet_destroySocket(rx);
}

TEST(EthernetSocket, NeverDeliversFramesOfAnotherInterface) {
    Veth one, two;
    IECX_REQUIRE_VETH(one);
    IECX_REQUIRE_VETH(two);
    EthernetSocket tx = Ethernet_createSocket(two.a().c_str(), nullptr);
    ASSERT_NE(tx, nullptr);
    // Traffic runs on the second pair while sockets on the first are created and used.
    std::atomic<bool> sending{true};
    auto frame = testFrame(0x88B8, 64, 9);
    std::thread flood([&] {
        for (int i = 0; i < 200000 && sending; ++i)
            Ethernet_sendPacket(tx, frame.data(), static_cast<int>(frame.size()));
    });
    int foreign = 0;
    for (int round = 0; round < 20; ++round) {
        EthernetSocket rx = Ethernet_createSocket(one.b().c_str(), nullptr); // no filter at all
        ASSERT_NE(rx, nullptr);
        Ethernet_setMode(rx, ETHERNET_SOCKET_MODE_PROMISC);
        for (auto& f : receive(rx, 1000, 20))
            foreign += f.size() >= 12 && f[11] == 9;
        Ethernet_destroySocket(rx);
    }
    sending = false;
    flood.join();
    EXPECT_EQ(foreign, 0);
    Ethernet_destroySocket(tx);
}

// A receive queue and a small memory-mapped ring (wrapped around many times) read the same way:
// every frame arrives once and in order with its tag back in place, unless the kernel counted
// it as dropped, and the frames plus the drops are all that were sent.
TEST(EthernetSocket, QueueAndRingDeliverEveryFrameOnceInOrderOrCountItDropped) {
    for (bool ring : {false, true}) {
        SCOPED_TRACE(ring ? "ring" : "queue");
        Veth veth;
        IECX_REQUIRE_VETH(veth);
        EthernetSocket tx = Ethernet_createSocket(veth.a().c_str(), nullptr);
        ASSERT_NE(tx, nullptr);
        auto rx = stack::eth::PacketSocket::open(veth.b().c_str());
        ASSERT_NE(rx, nullptr);
        ASSERT_TRUE(rx->setProtocolFilter(0x88BA));
        rx->setMode(ETHERNET_SOCKET_MODE_ALL_MULTICAST);
        ASSERT_TRUE(!ring || rx->enableRing(1 << 20, 1)) << "4 blocks of 256 KiB";
        EXPECT_EQ(rx->hasRing(), ring);

        const uint32_t frames = 20000; // about 5 MiB: the ring goes round several times
        std::atomic<bool> done{false};
        std::thread sender([&] {
            auto f = testFrame(0x88BA, 200, 1, 0x123, 5);
            for (uint32_t i = 0; i < frames; ++i) {
                memcpy(&f[40], &i, 4);
                Ethernet_sendPacket(tx, f.data(), static_cast<int>(f.size()));
            }
            done = true;
        });
        uint32_t received = 0, outOfOrder = 0, badTag = 0;
        int64_t lastSeq = -1;
        auto onFrame = [&](const stack::eth::RxFrame& received_) {
            stack::eth::RxFrame f = received_;
            stack::eth::restoreTag(f);
            uint32_t seq;
            memcpy(&seq, f.data + 40, 4);
            outOfOrder += static_cast<int64_t>(seq) <= lastSeq;
            lastSeq = seq;
            badTag += f.length != 200 || f.data[12] != 0x81 || f.data[14] != 0xA1 || f.data[15] != 0x23;
            ++received;
        };
        auto idleSince = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - idleSince < std::chrono::milliseconds(done ? 200 : 2000)) {
            rx->wait(5);
            if (rx->receiveBatch(onFrame) > 0)
                idleSince = std::chrono::steady_clock::now();
        }
        sender.join();
        auto counters = rx->counters();
        EXPECT_EQ(outOfOrder, 0u);
        EXPECT_EQ(badTag, 0u);
        EXPECT_EQ(received + counters.dropped, frames);
        EXPECT_GT(received, frames / 2);
        Ethernet_destroySocket(tx);
    }
}

TEST(GooseWire, ReceiversAndPublishersThatCannotOpenTheirInterfaceDoNotRun) {
    GooseReceiver rx = GooseReceiver_create();
    GooseReceiver_setInterfaceId(rx, "ixnosuchif0");
    GooseReceiver_start(rx);
    EXPECT_FALSE(GooseReceiver_isRunning(rx));
    GooseReceiver_stop(rx);
    GooseReceiver_destroy(rx);
    CommParameters p = params();
    EXPECT_EQ(GoosePublisher_create(&p, "ixnosuchif0"), nullptr);
    SVReceiver sv = SVReceiver_create();
    SVReceiver_setInterfaceId(sv, "ixnosuchif0");
    SVReceiver_start(sv);
    EXPECT_FALSE(SVReceiver_isRunning(sv));
    SVReceiver_destroy(sv);
    EXPECT_EQ(SVPublisher_create(nullptr, "ixnosuchif0"), nullptr);
    EXPECT_EQ(Ethernet_createSocket("ixnosuchif0", nullptr), nullptr);
    EXPECT_EQ(Ethernet_createSocket("", nullptr), nullptr);
    // A null socket returns no frame after a short wait instead of failing or spinning.
    uint8_t buf[64];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Ethernet_receivePacket(nullptr, buf, sizeof buf), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ETHERNET_RECEIVE_WAIT_MS / 2));
}

TEST(GooseWire, StartStopAndDestroyWhileTrafficFlows) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    GoosePublisher pub = publisher(veth.a());
    ASSERT_NE(pub, nullptr);
    std::atomic<bool> sending{true};
    std::atomic<int> sent{0};
    std::thread flood([&] {
        DataSet ds;
        for (int i = 0; i < 500000 && sending; ++i, ++sent)
            GoosePublisher_publish(pub, ds.list);
    });
    waitForCount(sent, 100);
    std::atomic<int> got{0};
    for (int round = 0; round < 30; ++round) {
        GooseReceiver rx = receiver(veth.b(), &got);
        GooseReceiver_start(rx);
        ASSERT_TRUE(GooseReceiver_isRunning(rx));
        if (round % 3 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (round == 29)
            waitForCount(got, 1); // at least one delivery, however slow the machine
        auto t0 = std::chrono::steady_clock::now();
        if (round % 2 == 0)
            GooseReceiver_stop(rx);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000)) << "stop is prompt";
        int countAfterStop = got.load();
        if (round % 2 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_EQ(got.load(), countAfterStop) << "no listener call after stop";
            if (round % 4 == 0) {
                GooseReceiver_start(rx); // a stopped receiver starts again
                EXPECT_TRUE(GooseReceiver_isRunning(rx));
            }
        }
        GooseReceiver_destroy(rx); // stops a running receiver first
    }
    sending = false;
    flood.join();
    EXPECT_GT(got.load(), 0);
    GoosePublisher_destroy(pub);
}

TEST(GooseWire, LoopbackDeliversEachFrameOnce) {
    if (!iecx::test::haveNetworkRights())
        GTEST_SKIP() << "needs root to open raw sockets";
    // A reference of its own: other tests may use lo at the same time.
    std::string ref = "IXLOOP" + std::to_string(getpid()) + "/LLN0$GO$once";
    std::atomic<int> got{0};
    GooseReceiver rx = receiver("lo", &got, ref.c_str());
    GooseReceiver_start(rx);
    ASSERT_TRUE(GooseReceiver_isRunning(rx));
    GoosePublisher pub = publisher("lo", ref.c_str());
    ASSERT_NE(pub, nullptr);
    DataSet ds;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(GoosePublisher_publish(pub, ds.list), 0);
    ASSERT_TRUE(waitForCount(got, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    GooseReceiver_stop(rx);
    EXPECT_EQ(got.load(), 10) << "the host's own sending is not seen twice";
    GooseReceiver_destroy(rx);
    GoosePublisher_destroy(pub);
}

// Every SV ASDU arrives in order, through the receivers' ring and through the socket's receive
// queue alike (start and stop under traffic above: both receivers share the frame receiver).
TEST(SvWire, EveryAsduArrivesInOrder) {
    const size_t ringBytes = Ethernet_getReceiverRingSize();
    for (size_t ring : {ringBytes, size_t(0)}) {
        SCOPED_TRACE(ring ? "ring" : "queue");
        Ethernet_setReceiverRingSize(ring);
        Veth veth;
        IECX_REQUIRE_VETH(veth);
        SVReceiver r = SVReceiver_create();
        SVReceiver_setInterfaceId(r, veth.b().c_str());
        SVReceiver_enableDestAddrCheck(r);
        SvSeen seen, wrongDst;
        SVSubscriber s = SVSubscriber_create(kDst, 0x4000);
        SVSubscriber_setListener(s, onAsdu, &seen);
        SVReceiver_addSubscriber(r, s);
        uint8_t other[6] = {0x01, 0x0C, 0xCD, 0x04, 0x00, 0x09};
        SVSubscriber s2 = SVSubscriber_create(other, 0x4000);
        SVSubscriber_setListener(s2, onAsdu, &wrongDst);
        SVReceiver_addSubscriber(r, s2);
        SVReceiver_start(r);
        ASSERT_TRUE(SVReceiver_isRunning(r));

        Stream stream(veth.a(), 0x4000, kDst);
        Stream otherApp(veth.a(), 0x4001, kDst);
        ASSERT_NE(stream.pub, nullptr);
        const int frames = 3000;
        for (int i = 0; i < frames; ++i) {
            stream.publish(i);
            if (i % 100 == 0)
                otherApp.publish(i);
        }
        ASSERT_TRUE(waitForCount(seen.count, 2 * frames));
        SVReceiver_stop(r);
        EXPECT_FALSE(SVReceiver_isRunning(r));
        std::lock_guard<std::mutex> lock(seen.mutex);
        ASSERT_EQ(seen.smpCnt.size(), static_cast<size_t>(2 * frames));
        for (int i = 0; i < 2 * frames; ++i) {
            ASSERT_EQ(seen.smpCnt[static_cast<size_t>(i)], i % 4000) << "sample " << i;
            ASSERT_EQ(seen.first[static_cast<size_t>(i)], i);
        }
        EXPECT_EQ(seen.svId, "MU01");
        EXPECT_EQ(wrongDst.count, 0);
        SVReceiver_destroy(r);
    }
    Ethernet_setReceiverRingSize(ringBytes);
}
