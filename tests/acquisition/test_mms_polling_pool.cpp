// MmsPollingPool against the simulated IED on loopback: time paths, values and their time
// stamps, updates only on change, the period and its interruption, the running message and
// unusable targets (an unreachable IED is in test_mms_connection_loss.cpp).
#include "acquisition/Messages.h"
#include "acquisition/MmsPollingPool.h"
#include "host/Language.h"
#include "support/SimIed.h"
#include "test_mms_support.h"

#include "mms_value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mmspooltest;

const std::string kInd1 = "SIMIEDLD0/GGIO1.Ind1.stVal[ST]";
const std::string kOpCnt = "SIMIEDLD0/XCBR1.OpCnt.stVal[ST]";
const std::string kVendor = "SIMIEDLD0/LLN0.NamPlt.vendor[DC]";
const std::string kAnIn = "SIMIEDLD0/GGIO1.AnIn1[MX]"; // a whole data object

class MmsPollingPoolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.error(); }
    void TearDown() override { lng::setLanguage(0); }

    MmsPollingTarget targetOf(uint64_t period, const std::vector<std::string>& paths) {
        MmsPollingTarget target(sim.host() + ":" + std::to_string(sim.port()), period);
        for (const std::string& p : paths)
            target.paths.emplace_back(p, nullptr);
        return target;
    }
    uint64_t simTime(const std::string& reference) { return mmspooltest::simTime(sim, reference); }
    void setSim(const std::string& reference, MmsValue* value) { mmspooltest::setSim(sim, reference, value); }

    iecx::test::SimIed sim{iecx::test::simData("simple.cid"), "SIMIED"};
};

TEST_F(MmsPollingPoolTest, PollsValuesWithTheTimeStampsOfTheirDataObjects) {
    MmsPollingPool pool;
    ASSERT_TRUE(
        pool.setTarget(targetOf(50, {kInd1, "SIMIEDLD0/GGIO1.AnIn1.mag.f[MX]", "SIMIEDLD0/GGIO1.AnIn1.q[MX]",
                                     kOpCnt, "SIMIEDLD0/GGIO1.Nope.stVal[ST]", kVendor, kAnIn})));
    EXPECT_EQ(pool.getValues().size(), 7u);
    EXPECT_EQ(pool.getTimePaths().size(), 7u);
    Recorder recorder(pool);
    ASSERT_TRUE(pool.start());

    std::vector<std::string> timePaths;
    for (const MmsPath& p : pool.getTimePaths())
        timePaths.push_back(p.path);
    EXPECT_EQ(timePaths,
              (std::vector<std::string>{"SIMIEDLD0/GGIO1.Ind1.t[ST]", "SIMIEDLD0/GGIO1.AnIn1.t[MX]",
                                        "SIMIEDLD0/GGIO1.AnIn1.t[MX]", "SIMIEDLD0/XCBR1.OpCnt.t[ST]", "", "",
                                        "SIMIEDLD0/GGIO1.AnIn1.t[MX]"}));

    ASSERT_TRUE(recorder.waitForCount(1));
    Delivery first = recorder.last();
    EXPECT_EQ(first.threadName, std::string("MmsPollingPool_readValues").substr(0, first.threadName.size()));
    EXPECT_GE(first.threadName.size(), 14u);
    ASSERT_EQ(first.elements.size(), 7u);
    EXPECT_EQ(first.text[0], "true");
    EXPECT_EQ(first.elements[0]->getUnixTimestamp(), simTime("SIMIEDLD0/GGIO1.Ind1.t[ST]"));
    EXPECT_NE(first.elements[0]->getUnixTimestamp(), 0u);
    EXPECT_EQ(first.text[1], "12.500000");
    // The measured value gets the t of its data object, AnIn1.t.
    EXPECT_EQ(first.elements[1]->getUnixTimestamp(), simTime("SIMIEDLD0/GGIO1.AnIn1.t[MX]"));
    EXPECT_NE(first.elements[1]->getUnixTimestamp(), 0u);
    EXPECT_EQ(first.elements[2]->getUnixTimestamp(), simTime("SIMIEDLD0/GGIO1.AnIn1.t[MX]"));
    EXPECT_EQ(first.text[3], "-42");
    EXPECT_FALSE(first.elements[4]); // a failed read leaves the entry empty
    EXPECT_EQ(first.text[5], "iecx");
    EXPECT_EQ(first.elements[5]->getUnixTimestamp(), 0u);
    // The whole data object: the structure the IED serves, with its own t.
    MmsValue* served = sim.ied().getValue(kAnIn);
    ASSERT_NE(served, nullptr);
    EXPECT_TRUE(MmsValue_equals(first.elements[6]->getValue(), served));
    MmsValue_delete(served);
    EXPECT_EQ(first.elements[6]->getUnixTimestamp(), simTime("SIMIEDLD0/GGIO1.AnIn1.t[MX]"));

    // Unchanged values produce no further updates.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(recorder.count(), 1u);

    // A change of value alone: the entry is replaced, its time stamp stays.
    const uint64_t opCntTime = first.elements[3]->getUnixTimestamp();
    setSim("SIMIEDLD0/XCBR1.OpCnt.stVal[ST]", MmsValue_newIntegerFromInt32(7));
    ASSERT_TRUE(recorder.waitFor([](const Delivery& d) { return d.text[3] == "7"; }));
    Delivery second = recorder.last();
    EXPECT_EQ(second.elements[3]->getUnixTimestamp(), opCntTime);
    EXPECT_NE(second.elements[3], first.elements[3]);
    EXPECT_EQ(second.elements[0], first.elements[0]); // unchanged entries are kept as they are
    // The replaced element the test still holds keeps its own value.
    EXPECT_EQ(MmsValue_toInt32(first.elements[3]->getValue()), -42);

    // A change of the time stamp alone also updates.
    const uint64_t newTime = 1764940000123ULL;
    setSim("SIMIEDLD0/GGIO1.Ind1.t[ST]", MmsValue_newUtcTimeByMsTime(newTime));
    ASSERT_TRUE(
        recorder.waitFor([&](const Delivery& d) { return d.elements[0]->getUnixTimestamp() == newTime; }));
    EXPECT_EQ(recorder.last().text[0], "true");

    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.isRunning());
    // Values read by the pool stay readable after stop.
    EXPECT_EQ(MmsValue_toInt32(pool.getValues()[3]->getValue()), 7);
}

TEST_F(MmsPollingPoolTest, PeriodIsThePauseBetweenCyclesAndStopEndsItAtOnce) {
    auto requestsDuring = [&](uint64_t period, int ms) {
        MmsPollingPool pool;
        EXPECT_TRUE(pool.setTarget(targetOf(period, {kInd1})));
        EXPECT_TRUE(pool.start());
        const uint64_t before = sim.ied().requestCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        const uint64_t requests = sim.ied().requestCount() - before;
        EXPECT_TRUE(pool.stop());
        return requests;
    };
    // Two reads per cycle (value and time stamp). With 200 ms pauses, 800 ms hold at most five
    // cycles however slow the machine; without a pause, many more.
    const uint64_t paused = requestsDuring(200, 800);
    EXPECT_LE(paused, 12u);
    EXPECT_GE(paused, 2u);
    const uint64_t continuous = requestsDuring(0, 800);
    EXPECT_GT(continuous, 4 * paused);

    // A stop during a long pause does not wait for its end.
    MmsPollingPool pool;
    Recorder recorder(pool);
    ASSERT_TRUE(pool.setTarget(targetOf(60000, {kInd1})));
    ASSERT_TRUE(pool.start());
    ASSERT_TRUE(recorder.waitForCount(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto begin = Clock::now();
    EXPECT_TRUE(pool.stop());
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
}

TEST_F(MmsPollingPoolTest, TargetIsRefusedWhileRunningInBothLanguages) {
    MmsPollingPool pool;
    EXPECT_FALSE(pool.stop());
    ASSERT_TRUE(pool.setTarget(targetOf(20, {kInd1, kOpCnt})));
    Recorder recorder(pool);
    ASSERT_TRUE(pool.start());
    EXPECT_FALSE(pool.start());

    Vor::Result refused = pool.setTarget(targetOf(1000, {kVendor}));
    ASSERT_FALSE(refused.isValid());
    ASSERT_NE(std::dynamic_pointer_cast<const Vor::LogicError>(refused.getError()), nullptr);
    EXPECT_EQ(refused.getMessage(), "The MMS polling module is already running");
    lng::setLanguage(1);
    EXPECT_EQ(pool.setTarget(targetOf(1000, {kVendor})).getMessage(), "Модуль опроса MMS уже запущен");

    // The old target stays in force.
    EXPECT_EQ(pool.getTarget().period, 20u);
    EXPECT_EQ(pool.getTarget().paths.size(), 2u);
    setSim("SIMIEDLD0/XCBR1.OpCnt.stVal[ST]", MmsValue_newIntegerFromInt32(11));
    EXPECT_TRUE(recorder.waitFor([](const Delivery& d) { return d.text.size() == 2 && d.text[1] == "11"; }));
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.stop());

    // Idle again: a new target is taken, values resized; unusable targets are refused.
    lng::setLanguage(0);
    EXPECT_TRUE(pool.setTarget(targetOf(1000, {kVendor})).isValid());
    EXPECT_EQ(pool.getValues().size(), 1u);
    EXPECT_EQ(pool.getTarget().period, 1000u);
    EXPECT_EQ(pool.setTarget(targetOf(10, {})).getMessage(), "No data attributes are chosen");
    EXPECT_EQ(pool.setTarget(targetOf(10, {kVendor, "SIMIEDLD0/GGIO1.Ind1.stVal"})).getMessage(),
              "SIMIEDLD0/GGIO1.Ind1.stVal has no functional constraint");
    EXPECT_EQ(pool.getTarget().paths.size(), 1u);
}

} // namespace
