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
#include <cstdio>
#include <mutex>
#include <thread>

using namespace VorIec61850;

namespace {

// What a subscriber saw of the last message, as one line.
struct Received {
    std::mutex mutex;
    std::atomic<int> count{0};
    std::string text;
};

void onGoose(GooseSubscriber subscriber, void* parameter) {
    auto* r = static_cast<Received*>(parameter);
    uint8_t dst[6] = {0};
    GooseSubscriber_getDstMac(subscriber, dst);
    MmsValue* values = GooseSubscriber_getDataSetValues(subscriber);
    char line[256];
    std::snprintf(line, sizeof line,
                  "%02X-%02X-%02X-%02X-%02X-%02X appid=0x%04X vlan=%d/%u/%u %s %s confRev=%u members=%d",
                  dst[0], dst[1], dst[2], dst[3], dst[4], dst[5],
                  static_cast<unsigned>(GooseSubscriber_getAppId(subscriber)),
                  GooseSubscriber_isVlanSet(subscriber) ? 1 : 0, GooseSubscriber_getVlanId(subscriber),
                  GooseSubscriber_getVlanPrio(subscriber), GooseSubscriber_getGoCbRef(subscriber),
                  GooseSubscriber_getDataSet(subscriber), GooseSubscriber_getConfRev(subscriber),
                  values != nullptr ? MmsValue_getArraySize(values) : -1);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->text = line;
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
    EXPECT_EQ(received.text, "01-0C-CD-01-00-01 appid=0x3FFF vlan=1/5/4 TESTIEDLD0/LLN0$GO$gcb01 "
                             "TESTIEDLD0/LLN0$GooseDS confRev=1 members=4");
}
