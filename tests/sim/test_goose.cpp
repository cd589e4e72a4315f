// GOOSE publishing of the simulated IED's control blocks, received with the stack's GOOSE
// receiver over a veth pair.
#include "support/IedClient.h"
#include "support/SimIed.h"
#include "support/Veth.h"

#include "goose_receiver.h"
#include "goose_subscriber.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace iecx::test;

namespace {

struct Frame {
    uint32_t stNum;
    uint32_t sqNum;
    uint32_t tal;
    uint32_t confRev;
    std::string goId;
    std::string dataSet;
    uint16_t vlanId;
    uint8_t vlanPrio;
    int32_t appId;
    bool ind1;
    int members;
    std::chrono::steady_clock::time_point at;
};

struct Collector : Recorded<Frame> {
    static void onMessage(GooseSubscriber s, void* p) {
        Frame f{};
        f.stNum = GooseSubscriber_getStNum(s);
        f.sqNum = GooseSubscriber_getSqNum(s);
        f.tal = GooseSubscriber_getTimeAllowedToLive(s);
        f.confRev = GooseSubscriber_getConfRev(s);
        f.goId = GooseSubscriber_getGoId(s);
        f.dataSet = GooseSubscriber_getDataSet(s);
        f.vlanId = GooseSubscriber_getVlanId(s);
        f.vlanPrio = GooseSubscriber_getVlanPrio(s);
        f.appId = GooseSubscriber_getAppId(s);
        MmsValue* values = GooseSubscriber_getDataSetValues(s);
        f.members = static_cast<int>(MmsValue_getArraySize(values));
        f.ind1 = MmsValue_getBoolean(MmsValue_getElement(values, 0));
        f.at = std::chrono::steady_clock::now();
        static_cast<Collector*>(p)->add(f);
    }
    // The frames with state number `stNum` received so far.
    std::vector<Frame> ofState(uint32_t stNum) const {
        std::vector<Frame> out;
        for (const auto& f : take())
            if (f.stNum == stNum)
                out.push_back(f);
        return out;
    }
};

} // namespace

TEST(SimGoose, PublishesStateChangesWithDoublingRepetition) {
    Veth veth;
    IECX_REQUIRE_VETH(veth);
    Collector collector;
    GooseReceiver receiver = GooseReceiver_create();
    GooseReceiver_setInterfaceId(receiver, veth.b().c_str());
    GooseSubscriber sub = GooseSubscriber_create(const_cast<char*>("SIMIEDLD0/LLN0$GO$gcbStatus"), nullptr);
    GooseSubscriber_setListener(sub, &Collector::onMessage, &collector);
    GooseReceiver_addSubscriber(receiver, sub);
    GooseReceiver_start(receiver);

    {
        SimIed sim(simData("simple.cid"), "SIMIED", veth.a());
        ASSERT_TRUE(sim.ok()) << sim.error();
        ASSERT_TRUE(waitUntil([&] { return !collector.take().empty(); }));
        const Frame first = collector.take().front();
        EXPECT_EQ(first.stNum, 1u);
        EXPECT_EQ(first.goId, "SIMIED_Status");
        EXPECT_EQ(first.dataSet, "SIMIEDLD0/LLN0$Status");
        EXPECT_EQ(first.confRev, 2u);
        EXPECT_EQ(first.appId, 0x1021);
        EXPECT_EQ(first.vlanId, 0x5a);
        EXPECT_EQ(first.vlanPrio, 5);
        EXPECT_EQ(first.members, 3);
        EXPECT_TRUE(first.ind1);

        MmsValue* off = MmsValue_newBoolean(false);
        ASSERT_TRUE(sim.ied().setValue("LD0/GGIO1.Ind1.stVal", off));
        MmsValue_delete(off);
        // The new state goes out at once, then after MinTime (20 ms), 40, 80, ... up to MaxTime.
        ASSERT_TRUE(waitUntil([&] { return collector.ofState(2).size() >= 4; }));
        sim.kill();
        std::vector<Frame> st2 = collector.ofState(2);
        ASSERT_GE(st2.size(), 4u);
        for (size_t i = 0; i < st2.size(); ++i) {
            EXPECT_EQ(st2[i].sqNum, i);
            EXPECT_FALSE(st2[i].ind1);
        }
        EXPECT_EQ(st2[0].tal, 40u);
        EXPECT_EQ(st2[1].tal, 80u);
        EXPECT_EQ(st2[2].tal, 160u);
        auto gap = [&](size_t i) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(st2[i + 1].at - st2[i].at).count();
        };
        // Arrival times are taken in user space, where a loaded machine can hold one frame back
        // by tens of milliseconds and so shorten one gap: check the repetitions are spread over
        // about 20 + 40 + 80 ms rather than each gap on its own.
        EXPECT_GE(gap(0) + gap(1) + gap(2), 100);
        EXPECT_GE(gap(2), 40);
    }
    GooseReceiver_stop(receiver);
    GooseReceiver_destroy(receiver);
}

TEST(SimGoose, UnknownInterfaceFailsToStart) {
    SimIed sim(simData("simple.cid"), "SIMIED", "ixnosuchif0");
    EXPECT_FALSE(sim.ok());
    EXPECT_NE(sim.error().find("ixnosuchif0"), std::string::npos) << sim.error();
}
