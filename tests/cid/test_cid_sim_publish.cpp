// A Goose.cid written for the test set's publication is a valid device description: the
// simulated IED loads it and publishes that GOOSE, which a subscriber on the far end of a veth
// pair receives with the address, control block and data set that went into the file.
#include "CidTestUtil.h"
#include "cid/GooseToCid.h"
#include "sim/SimulatedIed.h"
#include "support/Veth.h"

#include "goose_receiver.h"
#include "goose_subscriber.h"
#include "mms_value.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace VorIec61850;

namespace {

struct Received {
    std::mutex mutex;
    std::atomic<int> count{0};
    int32_t appId = 0;
    uint32_t confRev = 0;
    std::string goCbRef, dataSet;
    int members = 0;
    bool vlan = false;
    uint16_t vlanId = 0;
    uint8_t vlanPrio = 0;
    uint8_t dst[6] = {0};
};

void onGoose(GooseSubscriber subscriber, void* parameter) {
    auto* r = static_cast<Received*>(parameter);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->appId = GooseSubscriber_getAppId(subscriber);
    r->confRev = GooseSubscriber_getConfRev(subscriber);
    r->goCbRef = GooseSubscriber_getGoCbRef(subscriber);
    r->dataSet = GooseSubscriber_getDataSet(subscriber);
    MmsValue* values = GooseSubscriber_getDataSetValues(subscriber);
    r->members = values != nullptr ? MmsValue_getArraySize(values) : -1;
    r->vlan = GooseSubscriber_isVlanSet(subscriber);
    r->vlanId = GooseSubscriber_getVlanId(subscriber);
    r->vlanPrio = GooseSubscriber_getVlanPrio(subscriber);
    GooseSubscriber_getDstMac(subscriber, r->dst);
    ++r->count;
}

} // namespace

TEST(CidSimulatedIed, PublishesTheGooseOfAWrittenGooseCid) {
    iecx::test::Veth veth;
    IECX_REQUIRE_VETH(veth);
    cidtest::TempDir dir;
    GooseOut out = cidtest::goldenGooseOut();
    out.fcdaList = cidtest::declaredMembers();
    const std::string path = dir.file("Goose.cid");
    GooseToCid().saveToCid(out, path);

    iecx::sim::SimulatedIed ied;
    ASSERT_NO_THROW(ied.load(path, "TESTIED"));

    Received received;
    GooseReceiver receiver = GooseReceiver_create();
    GooseReceiver_setInterfaceId(receiver, veth.b().c_str());
    char reference[] = "TESTIEDLD0/LLN0$GO$gcb01";
    GooseSubscriber subscriber = GooseSubscriber_create(reference, nullptr);
    GooseSubscriber_setListener(subscriber, onGoose, &received);
    GooseReceiver_addSubscriber(receiver, subscriber);
    GooseReceiver_start(receiver);

    ASSERT_TRUE(ied.start("127.0.0.1", 0, veth.a())) << ied.lastError();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.count < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ied.stop();
    GooseReceiver_stop(receiver);
    GooseReceiver_destroy(receiver);

    ASSERT_GE(received.count, 2) << "the written control block is published and repeated";
    std::lock_guard<std::mutex> lock(received.mutex);
    EXPECT_EQ(received.appId, 0x3FFF);
    EXPECT_EQ(received.confRev, 1u);
    EXPECT_EQ(received.goCbRef, "TESTIEDLD0/LLN0$GO$gcb01");
    EXPECT_EQ(received.dataSet, "TESTIEDLD0/LLN0$GooseDS");
    EXPECT_EQ(received.members, 4);
    EXPECT_TRUE(received.vlan);
    EXPECT_EQ(received.vlanId, 5);
    EXPECT_EQ(received.vlanPrio, 4);
    const uint8_t mac[6] = {0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01};
    EXPECT_TRUE(std::equal(mac, mac + 6, received.dst));
}
