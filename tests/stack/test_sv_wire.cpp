// Sampled Values from our publisher to our receiver across a veth pair (start and stop under
// traffic run in test_goose_wire.cpp: both receivers share the frame receiver).
#include "support/IedClient.h"
#include "support/Veth.h"
#include "sv_publisher.h"
#include "hal_ethernet.h"
#include "sv_subscriber.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using iecx::test::Veth;
using iecx::test::waitForCount;

namespace {

struct Seen {
    std::mutex mutex;
    std::atomic<int> count{0};
    std::vector<uint16_t> smpCnt;
    std::vector<int32_t> first;
    std::string svId;
};

void onAsdu(SVSubscriber, void* p, SVSubscriber_ASDU a) {
    auto* seen = static_cast<Seen*>(p);
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

// Through the receivers' ring and through the socket's receive queue alike.
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
        Seen seen, wrongDst;
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
