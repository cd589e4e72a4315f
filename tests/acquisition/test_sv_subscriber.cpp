// InnerSvSubscriber end to end over a veth pair with the stack's SV publisher, the sample rate
// arithmetic of SampleRateAsdu, and subscribers that cannot start.
#include "acquisition/InnerSvSubscriber.h"
#include "acquisition/SampleRateAsdu.h"
#include "support/Veth.h"
#include "test_goose_support.h"

#include "sv_publisher.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace VorIec61850;
using goosetest::SvStream;

namespace {

TEST(SampleRateAsdu, SamplesAndPacketsPerSecond) {
    SampleRateAsdu perSecond(SmpPerSec, 4800, 2, 50);
    EXPECT_EQ(perSecond.getSamplesPerSecond(), 4800u);
    EXPECT_EQ(perSecond.getPacketsPerSecond(), 2400u);
    SampleRateAsdu sixty(SmpPerPeriod, 256, 8, 60);
    EXPECT_EQ(sixty.getSamplesPerSecond(), 15360u);
    EXPECT_EQ(sixty.getPacketsPerSecond(), 1920u);
    EXPECT_EQ(SampleRateAsdu(SmpPerSec, 4000, 3, 50).getPacketsPerSecond(), 1333u); // integer division
    EXPECT_EQ(SampleRateAsdu(SmpPerSec, 4000, 0, 50).getPacketsPerSecond(), 0u);    // no division by 0
}

// What the handler of asduReceived read, on the receive thread.
struct Delivered {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> svIds;
    std::vector<uint16_t> smpCnts;
    std::vector<std::vector<unsigned char>> buffers;

    void connect(InnerSvSubscriber& subscriber) {
        subscriber.asduReceived.connect([this, &subscriber](SVSubscriber, SVSubscriber_ASDU asdu) {
            int length = subscriber.getDataBufferLength();
            std::vector<unsigned char> buffer(length > 0 ? static_cast<size_t>(length) : 0);
            bool read = subscriber.readDataBuffer(buffer.data());
            std::lock_guard<std::mutex> lock(mutex);
            svIds.push_back(SVSubscriber_ASDU_getSvId(asdu));
            smpCnts.push_back(SVSubscriber_ASDU_getSmpCnt(asdu));
            buffers.push_back(read ? buffer : std::vector<unsigned char>());
            changed.notify_all();
        });
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return svIds.size();
    }
    bool waitFor(size_t n, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return svIds.size() >= n; });
    }
};

// Threads of this process whose name begins with prefix.
int threadsNamed(const std::string& prefix) {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            if (std::getline(comm, name) && name.rfind(prefix, 0) == 0)
                ++count;
        }
        closedir(dir);
    }
    return count;
}

int32_t bigEndian32(const unsigned char* p) {
    return static_cast<int32_t>((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                                p[3]);
}

class SvSubscriberTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!veth.ok())
            GTEST_SKIP() << veth.skipReason();
    }
    SvIn target(uint16_t appId) {
        SvIn t;
        t.interfaceName = veth.b();
        t.appId = appId;
        return t;
    }
    // Publishes `good` frames until the subscriber has `expected` deliveries; before each good
    // frame the `bad` stream (when given) sends one that must be dropped.
    void publishUntil(SvStream& good, Delivered& delivered, size_t expected, SvStream* bad = nullptr) {
        for (uint16_t cnt = 0; cnt < 50 && delivered.count() < expected; ++cnt) {
            if (bad)
                bad->publish(cnt, 9000);
            good.publish(cnt, 100);
            delivered.waitFor(delivered.count() + 1, std::chrono::milliseconds(200));
        }
    }
    iecx::test::Veth veth;
};

TEST_F(SvSubscriberTest, DeliversEveryAsduOfTheStreamWithItsDataBuffer) {
    InnerSvSubscriber subscriber;
    Delivered delivered;
    delivered.connect(subscriber);
    ASSERT_TRUE(subscriber.setTarget(target(0x4000)));
    EXPECT_EQ(subscriber.getDataBufferLength(), -1);
    unsigned char none[4];
    EXPECT_FALSE(subscriber.readDataBuffer(none));
    ASSERT_TRUE(subscriber.start());
    EXPECT_EQ(subscriber.getReceiverCount(), 1u);
    EXPECT_FALSE(subscriber.start());
    EXPECT_FALSE(subscriber.setTarget(target(0x4001))); // refused while running
    SvStream stream(veth.a(), 0x4000, "IED1MU01", 1);
    SvStream otherAppId(veth.a(), 0x4001, "IED1MU02", 1);
    ASSERT_TRUE(stream.ok() && otherAppId.ok());
    publishUntil(stream, delivered, 1, &otherAppId);
    ASSERT_GE(delivered.count(), 1u);
    size_t before = delivered.count();
    for (uint16_t cnt = 100; cnt < 110; ++cnt) {
        otherAppId.publish(cnt, 9000);
        stream.publish(cnt, 100 + cnt);
    }
    ASSERT_TRUE(delivered.waitFor(before + 10, std::chrono::seconds(2)));
    EXPECT_TRUE(subscriber.stop());
    EXPECT_FALSE(subscriber.stop());
    EXPECT_EQ(subscriber.getDataBufferLength(), -1);

    std::lock_guard<std::mutex> lock(delivered.mutex);
    ASSERT_EQ(delivered.svIds.size(), before + 10);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(delivered.svIds[before + i], "IED1MU01");
        EXPECT_EQ(delivered.smpCnts[before + i], 100 + i);
        const auto& buffer = delivered.buffers[before + i];
        ASSERT_EQ(buffer.size(), 64u);
        for (int ch = 0; ch < 8; ++ch)
            EXPECT_EQ(bigEndian32(&buffer[ch * 8]), static_cast<int32_t>(200 + i + ch));
    }
    EXPECT_EQ(subscriber.getTarget().appId, 0x4000);
}

// Of two streams with the same APPID that differ in one field, only the one that matches the
// criterion is delivered.
TEST_F(SvSubscriberTest, SvIdConfRevAndDestinationFiltersDropOtherAsdus) {
    struct Case {
        const char* name;
        void (*criterion)(SvIn&);
        const char* badSvId;
        uint32_t badConfRev;
        uint8_t badMacByte;
    };
    const Case cases[] = {
        {"svId", [](SvIn& t) { t.svId = std::string("IED1MU01"); }, "IED1MU01X", 1, 0x01},
        {"confRev", [](SvIn& t) { t.confRev = 1; }, "IED1MU01", 2, 0x01},
        {"both", [](SvIn& t) { t.svId = std::string("IED1MU01"), t.confRev = 1; }, "IED1MU01", 7, 0x01},
        {"dstMac", [](SvIn& t) { t.dstMac = std::string("01:0C:CD:04:00:01"); }, "IED1MU01", 1, 0x02},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InnerSvSubscriber subscriber;
        Delivered delivered;
        delivered.connect(subscriber);
        SvIn t = target(0x4000);
        c.criterion(t);
        ASSERT_TRUE(subscriber.setTarget(t));
        ASSERT_TRUE(subscriber.start());
        SvStream good(veth.a(), 0x4000, "IED1MU01", 1, 0x01);
        SvStream bad(veth.a(), 0x4000, c.badSvId, c.badConfRev, c.badMacByte);
        publishUntil(good, delivered, 3, &bad);
        subscriber.stop();
        std::lock_guard<std::mutex> lock(delivered.mutex);
        ASSERT_GE(delivered.svIds.size(), 3u);
        for (size_t i = 0; i < delivered.svIds.size(); ++i) {
            EXPECT_EQ(delivered.svIds[i], "IED1MU01");
            ASSERT_EQ(delivered.buffers[i].size(), 64u); // the real length, also when filtered
            EXPECT_EQ(bigEndian32(&delivered.buffers[i][0]), 100);
        }
    }
}

TEST_F(SvSubscriberTest, StreamsOnOneInterfaceShareTheReceiverAndStopIndependently) {
    InnerSvSubscriber first, second;
    Delivered firstDelivered, secondDelivered;
    firstDelivered.connect(first);
    secondDelivered.connect(second);
    ASSERT_TRUE(first.setTarget(target(0x4000)));
    ASSERT_TRUE(second.setTarget(target(0x4001)));
    int threadsBefore = threadsNamed("SvRx");
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    // The receive thread names itself once it runs.
    for (int i = 0; i < 100 && threadsNamed("SvRx") <= threadsBefore; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(threadsNamed("SvRx"), threadsBefore + 1) << "one receive thread for the interface";
    SvStream one(veth.a(), 0x4000, "MU1", 1);
    SvStream two(veth.a(), 0x4001, "MU2", 1);
    for (uint16_t cnt = 0; cnt < 50 && (firstDelivered.count() < 3 || secondDelivered.count() < 3); ++cnt) {
        one.publish(cnt, 1000);
        two.publish(cnt, 2000);
        secondDelivered.waitFor(secondDelivered.count() + 1, std::chrono::milliseconds(200));
    }
    ASSERT_GE(firstDelivered.count(), 3u);
    ASSERT_GE(secondDelivered.count(), 3u);
    // The first stops: the second keeps receiving on the receiver they shared.
    ASSERT_TRUE(first.stop());
    size_t firstAfterStop = firstDelivered.count();
    size_t before = secondDelivered.count();
    for (uint16_t cnt = 100; cnt < 150 && secondDelivered.count() < before + 3; ++cnt) {
        one.publish(cnt, 1000);
        two.publish(cnt, 2000);
        secondDelivered.waitFor(secondDelivered.count() + 1, std::chrono::milliseconds(200));
    }
    EXPECT_GE(secondDelivered.count(), before + 3);
    EXPECT_EQ(firstDelivered.count(), firstAfterStop);
    // And the first can start again beside it.
    ASSERT_TRUE(first.start());
    for (uint16_t cnt = 200; cnt < 250 && firstDelivered.count() < firstAfterStop + 3; ++cnt) {
        one.publish(cnt, 1000);
        firstDelivered.waitFor(firstDelivered.count() + 1, std::chrono::milliseconds(200));
    }
    EXPECT_GE(firstDelivered.count(), firstAfterStop + 3);
    second.stop();
    first.stop();
    std::lock_guard<std::mutex> lock(firstDelivered.mutex);
    for (const auto& svId : firstDelivered.svIds)
        EXPECT_EQ(svId, "MU1");
}

// A missing interface or a destination address that does not parse fails the start of the GOOSE
// pool and of the SV subscriber and leaves them idle.
TEST(SubscriberStart, FailsOnMissingInterfaceOrBadMacAndLeavesTheSubscriberIdle) {
    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(goosetest::makeTarget("ixnosuchif0", {"LD0/GGIO1.Ind1.stVal[ST]"})));
    EXPECT_FALSE(pool.start());
    EXPECT_FALSE(pool.isRunning());
    EXPECT_EQ(pool.getReceiverCount(), 0u);
    EXPECT_EQ(pool.getLastError(), "Unable to receive GOOSE on interface ixnosuchif0");
    GooseIn target = goosetest::makeTarget("lo", {"LD0/GGIO1.Ind1.stVal[ST]"});
    target.identifier.dstMac = std::string("01:0c:cd:zz");
    ASSERT_TRUE(pool.setTarget(target));
    EXPECT_FALSE(pool.start());
    EXPECT_FALSE(pool.isRunning());

    InnerSvSubscriber subscriber;
    SvIn t;
    t.interfaceName = "ixnosuchif0";
    t.appId = 0x4000;
    ASSERT_TRUE(subscriber.setTarget(t));
    EXPECT_FALSE(subscriber.start());
    EXPECT_FALSE(subscriber.isRunning());
    EXPECT_EQ(subscriber.getReceiverCount(), 0u);
    t.interfaceName = "lo";
    t.dstMac = std::string("not a mac");
    ASSERT_TRUE(subscriber.setTarget(t));
    EXPECT_FALSE(subscriber.start());
    EXPECT_FALSE(subscriber.isRunning());
    EXPECT_FALSE(subscriber.stop());
}

} // namespace
