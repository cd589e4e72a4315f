// GOOSE and Sampled Values from our publishers to our receivers across a veth pair (and
// interfaces that do not exist). Broken frames are fed to the same receiver path in
// test_frame_codec.cpp.
#include "goose_publisher.h"
#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "hal_ethernet.h"
#include "sv_publisher.h"
#include "sv_subscriber.h"
#include "support/IedClient.h"
#include "support/Veth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using iecx::test::Veth;
using iecx::test::waitForCount;

namespace {

struct Received {
    std::mutex mutex;
    std::atomic<int> count{0};
    std::atomic<int> invalid{0}; // deliveries of refused messages
    uint32_t stNum = 0;
    bool vlanSet = false;
    uint16_t vlanId = 0;
    uint8_t vlanPrio = 0;
    int32_t value = 0;
    bool test = false;
};

void listener(GooseSubscriber s, void* p) {
    auto* r = static_cast<Received*>(p);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->stNum = GooseSubscriber_getStNum(s);
    r->vlanSet = GooseSubscriber_isVlanSet(s);
    r->vlanId = GooseSubscriber_getVlanId(s);
    r->vlanPrio = GooseSubscriber_getVlanPrio(s);
    r->test = GooseSubscriber_isTest(s);
    if (!GooseSubscriber_isValid(s))
        ++r->invalid;
    r->value = MmsValue_toInt32(MmsValue_getElement(GooseSubscriber_getDataSetValues(s), 0));
    ++r->count;
}

struct DataSet {
    LinkedList list = LinkedList_create();
    MmsValue* value = MmsValue_newIntegerFromInt32(0);
    DataSet() {
        LinkedList_add(list, value);
        LinkedList_add(list, MmsValue_newBitString(13));
    }
    ~DataSet() {
        LinkedList_destroyDeep(list, reinterpret_cast<LinkedListValueDeleteFunction>(MmsValue_delete));
    }
};

CommParameters params(uint16_t appId, uint16_t vlanId, uint8_t prio) {
    CommParameters p{};
    p.appId = appId;
    p.vlanId = vlanId;
    p.vlanPriority = prio;
    const uint8_t dst[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    memcpy(p.dstAddress, dst, 6);
    return p;
}

GoosePublisher publisher(const std::string& ifname, CommParameters p,
                         const char* ref = "IED1LD0/LLN0$GO$gcb1") {
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

GooseReceiver receiver(const std::string& ifname, Received* r, const char* ref = "IED1LD0/LLN0$GO$gcb1") {
    GooseReceiver rx = GooseReceiver_create();
    GooseReceiver_setInterfaceId(rx, ifname.c_str());
    GooseSubscriber s = GooseSubscriber_create(const_cast<char*>(ref), nullptr);
    GooseSubscriber_setListener(s, listener, r);
    GooseReceiver_addSubscriber(rx, s);
    return rx;
}

} // namespace

TEST(GooseWire, ReceiversAndPublishersThatCannotOpenTheirInterfaceDoNotRun) {
    GooseReceiver rx = GooseReceiver_create();
    GooseReceiver_setInterfaceId(rx, "ixnosuchif0");
    GooseReceiver_start(rx);
    EXPECT_FALSE(GooseReceiver_isRunning(rx));
    GooseReceiver_stop(rx);
    GooseReceiver_destroy(rx);
    CommParameters p = params(1, 0, 0);
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

// Values, state number, simulation flag and VLAN tag arrive as published: a full tag, none by
// default, and a priority-only tag (VLAN 0).
TEST(GooseWire, PublishedValuesAndVlanTagArrive) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    Received got;
    GooseReceiver rx = receiver(veth.b(), &got);
    GooseReceiver_start(rx);
    ASSERT_TRUE(GooseReceiver_isRunning(rx));
    const struct {
        uint16_t vlanId;
        uint8_t prio;
        bool simulation, tagged;
    } cases[] = {{0x123, 5, true, true}, {0, 0, false, false}, {0, 6, false, true}};
    DataSet ds;
    int count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vlanId * 10 + c.prio);
        GoosePublisher pub = publisher(veth.a(), params(1, c.vlanId, c.prio));
        ASSERT_NE(pub, nullptr);
        GoosePublisher_setSimulation(pub, c.simulation);
        for (int32_t value : {77, -5}) { // a second state
            MmsValue_setInt32(ds.value, value);
            ASSERT_EQ(GoosePublisher_publish(pub, ds.list), 0);
            ASSERT_TRUE(waitForCount(got.count, ++count));
            std::lock_guard<std::mutex> lock(got.mutex);
            EXPECT_EQ(got.value, value);
            EXPECT_EQ(got.stNum, value == 77 ? 1u : 2u);
            EXPECT_EQ(got.vlanSet, c.tagged);
            EXPECT_EQ(got.vlanId, c.vlanId);
            EXPECT_EQ(got.vlanPrio, c.prio);
            EXPECT_EQ(got.test, c.simulation);
            GoosePublisher_increaseStNum(pub);
        }
        GoosePublisher_destroy(pub);
    }
    GooseReceiver_stop(rx);
    EXPECT_FALSE(GooseReceiver_isRunning(rx));
    GooseReceiver_destroy(rx);
}

TEST(GooseWire, StartStopAndDestroyWhileTrafficFlows) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    GoosePublisher pub = publisher(veth.a(), params(1, 0, 0));
    ASSERT_NE(pub, nullptr);
    std::atomic<bool> sending{true};
    std::atomic<int> sent{0};
    std::thread flood([&] {
        DataSet ds;
        for (int i = 0; i < 500000 && sending; ++i, ++sent)
            GoosePublisher_publish(pub, ds.list);
    });
    waitForCount(sent, 100);
    Received got;
    for (int round = 0; round < 30; ++round) {
        GooseReceiver rx = receiver(veth.b(), &got);
        GooseReceiver_start(rx);
        ASSERT_TRUE(GooseReceiver_isRunning(rx));
        if (round % 3 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (round == 29)
            waitForCount(got.count, 1); // at least one delivery, however slow the machine
        auto t0 = std::chrono::steady_clock::now();
        if (round % 2 == 0)
            GooseReceiver_stop(rx);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000)) << "stop is prompt";
        int countAfterStop = got.count;
        if (round % 2 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_EQ(got.count, countAfterStop) << "no listener call after stop";
            if (round % 4 == 0) {
                GooseReceiver_start(rx); // a stopped receiver starts again
                EXPECT_TRUE(GooseReceiver_isRunning(rx));
            }
        }
        GooseReceiver_destroy(rx); // stops a running receiver first
    }
    sending = false;
    flood.join();
    EXPECT_GT(got.count, 0);
    GoosePublisher_destroy(pub);
}

TEST(GooseWire, LoopbackDeliversEachFrameOnce) {
    if (!iecx::test::haveNetworkRights())
        GTEST_SKIP() << "needs root to open raw sockets";
    // A reference of its own: other tests may use lo at the same time.
    std::string ref = "IXLOOP" + std::to_string(getpid()) + "/LLN0$GO$once";
    Received got;
    GooseReceiver rx = receiver("lo", &got, ref.c_str());
    GooseReceiver_start(rx);
    ASSERT_TRUE(GooseReceiver_isRunning(rx));
    GoosePublisher pub = publisher("lo", params(1, 0, 0), ref.c_str());
    ASSERT_NE(pub, nullptr);
    DataSet ds;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(GoosePublisher_publish(pub, ds.list), 0);
    ASSERT_TRUE(waitForCount(got.count, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    GooseReceiver_stop(rx);
    EXPECT_EQ(got.count, 10) << "the host's own sending is not seen twice";
    GooseReceiver_destroy(rx);
    GoosePublisher_destroy(pub);
}

namespace {

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
