// MmsReportPool against the simulated IED on loopback: path mapping onto the report's data set,
// values with the time stamps of their data objects, members not included in a report, the
// missing control block message and control blocks shared with other clients.
#include "acquisition/Messages.h"
#include "acquisition/MmsReportPool.h"
#include "host/Language.h"
#include "support/IedClient.h"
#include "test_mms_support.h"

#include "iec61850_client.h"
#include "mms_value.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mmspooltest;

// tests/data/sim/reports.cid: one IED with a data set that names the time stamps of its members
// explicitly (Ind1.t, AnIn1.t), a data object member (Ind2) and an attribute without time stamp
// (Pos.stVal). urcbEvents sends integrity reports every 150 ms besides data changes; urcbChanges
// sends data changes only.
const std::string kEvents = "RPTLD0/LLN0.RP.urcbEvents";
const std::string kChanges = "RPTLD0/LLN0.RP.urcbChanges";
const std::string kInd1 = "RPTLD0/GGIO1.Ind1.stVal[ST]";
const std::string kInd1Time = "RPTLD0/GGIO1.Ind1.t[ST]";
const std::string kMag = "RPTLD0/GGIO1.AnIn1.mag[MX]";
const std::string kMagF = "RPTLD0/GGIO1.AnIn1.mag.f[MX]";
const std::string kInd2q = "RPTLD0/GGIO1.Ind2.q[ST]";
const std::string kInd2 = "RPTLD0/GGIO1.Ind2.stVal[ST]";
const std::string kPos = "RPTLD0/XCBR1.Pos.stVal[ST]";
const std::string kMod = "RPTLD0/LLN0.Mod.stVal[ST]";    // not in the data set
const std::string kInd2Object = "RPTLD0/GGIO1.Ind2[ST]"; // the whole data object member

MmsReportTarget targetOf(const iecx::test::SimIed& sim, const std::string& rcb,
                         const std::vector<std::string>& paths) {
    MmsReportTarget target(sim.host() + ":" + std::to_string(sim.port()), rcb);
    for (const std::string& p : paths)
        target.paths.emplace_back(p, nullptr);
    return target;
}

bool setBool(iecx::test::SimIed& sim, const std::string& reference, bool value) {
    return setSim(sim, reference, MmsValue_newBoolean(value));
}

bool setTime(iecx::test::SimIed& sim, const std::string& reference, uint64_t ms) {
    return setSim(sim, reference, MmsValue_newUtcTimeByMsTime(ms));
}

class MmsReportPoolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.error(); }
    void TearDown() override { lng::setLanguage(0); }

    iecx::test::SimIed sim{iecx::test::simData("reports.cid"), "RPT"};
};

TEST_F(MmsReportPoolTest, PathsArePairedWithTimeMembersAndMappedOntoTheDataSet) {
    MmsReportPool pool;
    ASSERT_TRUE(pool.setTarget(targetOf(sim, kEvents, {kInd1, kMag, kMagF, kInd2q, kPos, kInd2Object})));

    std::vector<std::string> expanded;
    for (const MmsPath& p : pool.getTimePairTarget().paths) {
        expanded.push_back(p.path);
        EXPECT_EQ(p.channel, nullptr);
    }
    // Each value gets the t of its data object: a member of its own (Ind1.t, AnIn1.t, also for
    // mag.f) or a component of the data object member (Ind2.t); Pos has none.
    const std::string anInTime = "RPTLD0/GGIO1.AnIn1.t[MX]", ind2Time = "RPTLD0/GGIO1.Ind2.t[ST]";
    EXPECT_EQ(expanded, (std::vector<std::string>{kInd1, kInd1Time, kMag, anInTime, kMagF, anInTime, kInd2q,
                                                  ind2Time, kPos, "", kInd2Object, ind2Time}));
    EXPECT_EQ(pool.getTimePairTarget().report, pool.getTarget().report);
    EXPECT_EQ(pool.getValues().size(), 6u);

    ASSERT_TRUE(pool.start());
    using I = MmsReportReciver::IndexPath;
    const std::vector<I>& indexes = pool.getReciver().getAssociatedIndexes();
    ASSERT_EQ(indexes.size(), 12u);
    // mag.f is component 0 of member 3, Ind2.q component q of the data object member; Pos has no t.
    EXPECT_EQ(std::vector<I>(indexes.begin(), indexes.begin() + 11),
              (std::vector<I>{{0}, {2}, {3}, {4}, {3, 0}, {4}, {5, 1}, {5, 2}, {6}, {}, {5}}));
    EXPECT_TRUE(pool.stop());
}

TEST_F(MmsReportPoolTest, ValuesArriveWithTheTimeStampsOfTheirDataObjects) {
    MmsReportPool pool(7);
    EXPECT_EQ(pool.getReciver().getNumber(), 7u);
    ASSERT_TRUE(pool.setTarget(targetOf(sim, kEvents, {kInd1, kMagF, kPos, kInd2Object})));
    Recorder recorder(pool, true);
    std::atomic<int> received{0}, sent{0};
    pool.getReciver().rawMessageReceived.connect([&](uint8_t* bytes, int32_t length, bool in) {
        EXPECT_NE(bytes, nullptr);
        EXPECT_GT(length, 0);
        ++(in ? received : sent);
    });

    const uint64_t eventTime = 1764940000123ULL, magTime = 1764940000456ULL, ind2Time = 1764940000789ULL;
    ASSERT_TRUE(setTime(sim, "RPTLD0/GGIO1.Ind1.t[ST]", eventTime));
    ASSERT_TRUE(setTime(sim, "RPTLD0/GGIO1.AnIn1.t[MX]", magTime));
    ASSERT_TRUE(setTime(sim, "RPTLD0/GGIO1.Ind2.t[ST]", ind2Time));
    ASSERT_TRUE(setBool(sim, "RPTLD0/GGIO1.Ind1.stVal[ST]", true));
    const uint64_t before = nowMs();
    ASSERT_TRUE(pool.start());
    EXPECT_TRUE(pool.isRunning());

    // The integrity report carries every member.
    ASSERT_TRUE(recorder.waitFor([&](const Delivery& d) { return d.present[0] && d.time[0] == eventTime; }))
        << "no report with Ind1 and its time stamp";
    Delivery d = recorder.last();
    EXPECT_NE(d.thread, std::this_thread::get_id());
    ASSERT_EQ(d.present.size(), 4u);
    EXPECT_EQ(d.text[0], "true");
    EXPECT_TRUE(d.present[1]);
    EXPECT_EQ(d.text[1], "12.500000");
    EXPECT_EQ(d.time[1], magTime); // the t of AnIn1, a member of its own
    EXPECT_TRUE(d.present[2]);
    EXPECT_EQ(d.time[2], 0u);  // Pos has no t at all
    ASSERT_TRUE(d.present[3]); // the data object member, whole
    EXPECT_EQ(d.time[3], ind2Time);
    MmsValue* served = sim.ied().getValue(kInd2Object);
    ASSERT_NE(served, nullptr);
    EXPECT_TRUE(MmsValue_equals(recorder.last().elements[3]->getValue(), served));
    MmsValue_delete(served);

    // A data change with a new time stamp: first the change report, then an integrity report
    // with the new t.
    const uint64_t laterTime = eventTime + 5000;
    ASSERT_TRUE(setTime(sim, "RPTLD0/GGIO1.Ind1.t[ST]", laterTime));
    ASSERT_TRUE(setBool(sim, "RPTLD0/GGIO1.Ind1.stVal[ST]", false));
    EXPECT_TRUE(
        recorder.waitFor([&](const Delivery& x) { return x.text[0] == "false" && x.time[0] == laterTime; }));

    EXPECT_TRUE(pool.stop());
    // Report time stamps (OptFlds timeStamp) follow each refresh.
    std::vector<uint64_t> stamps = recorder.timestamps();
    ASSERT_EQ(stamps.size(), recorder.count());
    EXPECT_GE(stamps.back() + 1000, before);
    EXPECT_LE(stamps.back(), nowMs() + 1000);
    EXPECT_FALSE(pool.isRunning());
    EXPECT_GT(received.load(), 0);
    EXPECT_GT(sent.load(), 0);
    // The elements stay readable after stop.
    for (const auto& e : pool.getValues()) {
        if (e && e->getValue()) {
            EXPECT_NE(MmsValue_getType(e->getValue()), MMS_DATA_ACCESS_ERROR);
        }
    }
}

TEST_F(MmsReportPoolTest, MembersNotIncludedKeepTheirValueAndStillSignal) {
    MmsReportPool pool;
    ASSERT_TRUE(pool.setTarget(targetOf(sim, kChanges, {kInd1, kInd2})));
    Recorder recorder(pool, true);
    ASSERT_TRUE(pool.start());

    // Only Ind1.stVal changes: Ind2 (not included) stays empty, and so does Ind1's time stamp.
    ASSERT_TRUE(setBool(sim, "RPTLD0/GGIO1.Ind1.stVal", true));
    ASSERT_TRUE(recorder.waitForCount(1));
    Delivery first = recorder.last();
    EXPECT_TRUE(first.present[0]);
    EXPECT_EQ(first.text[0], "true");
    EXPECT_EQ(first.time[0], 0u);
    EXPECT_FALSE(first.present[1]);

    ASSERT_TRUE(setBool(sim, "RPTLD0/GGIO1.Ind2.stVal", true));
    ASSERT_TRUE(recorder.waitForCount(2));
    Delivery second = recorder.last();
    EXPECT_TRUE(second.present[1]);
    EXPECT_EQ(second.text[1], "true");
    // Ind1 was not in this report: it keeps its pointer and value.
    EXPECT_EQ(second.pointer[0], first.pointer[0]);
    EXPECT_EQ(second.text[0], "true");
    // No timeStamp option on this block: the signal carries 0. It follows valuesUpdated on the
    // receive thread, so the counts are compared once that thread has ended.
    EXPECT_TRUE(pool.stop());
    for (uint64_t t : recorder.timestamps())
        EXPECT_EQ(t, 0u);
    EXPECT_EQ(recorder.timestamps().size(), recorder.count());
}

TEST_F(MmsReportPoolTest, ReportsOfAnotherControlBlockAreIgnored) {
    // A receiver aimed at urcbEvents is handed reports of urcbChanges and of urcbEvents that a
    // separate connection receives.
    MmsReportReciver reciver;
    ASSERT_TRUE(reciver.setTarget(targetOf(sim, kEvents, {kInd1})));
    std::atomic<int> forwarded{0};
    reciver.reportReceived.connect([&](ClientReport) { ++forwarded; });

    IedConnection con = iecx::test::connectTo(sim);
    ASSERT_NE(con, nullptr);
    IedClientError err = IED_ERROR_OK;
    std::atomic<int> other{0}, own{0};
    struct Context {
        MmsReportReciver* reciver;
        std::atomic<int>* counter;
    } otherContext{&reciver, &other}, ownContext{&reciver, &own};
    auto handler = [](void* parameter, ClientReport report) {
        auto* c = static_cast<Context*>(parameter);
        c->reciver->reportCallback(report);
        ++*c->counter;
    };
    for (auto* entry : {&otherContext, &ownContext}) {
        const std::string& rcb = entry == &otherContext ? kChanges : kEvents;
        ClientReportControlBlock block = IedConnection_getRCBValues(con, &err, rcb.c_str(), nullptr);
        ASSERT_NE(block, nullptr);
        IedConnection_installReportHandler(con, rcb.c_str(), ClientReportControlBlock_getRptId(block),
                                           handler, entry);
        ClientReportControlBlock_setRptEna(block, true);
        IedConnection_setRCBValues(con, &err, block, RCB_ELEMENT_RPT_ENA, true);
        ASSERT_EQ(err, IED_ERROR_OK);
        ClientReportControlBlock_destroy(block);
    }
    ASSERT_TRUE(setBool(sim, "RPTLD0/GGIO1.Ind1.stVal", true));
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while ((other.load() < 1 || own.load() < 1) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    IedConnection_close(con);
    IedConnection_destroy(con);
    EXPECT_GE(other.load(), 1);
    EXPECT_GE(own.load(), 1);
    EXPECT_EQ(forwarded.load(), own.load());
}

TEST_F(MmsReportPoolTest, MissingControlBlockGivesTheMessageInBothLanguages) {
    MmsReportPool pool;
    const MmsReportTarget target = targetOf(sim, "RPTLD0/LLN0.RP.urcbNone", {kInd1});
    const std::string block = "[" + target.report.host + "] RPTLD0/LLN0.RP.urcbNone";

    testing::internal::CaptureStdout();
    Vor::Result result = pool.setTarget(target);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "getRCBValues service error!\n");
    ASSERT_FALSE(result.isValid());
    ASSERT_NE(std::dynamic_pointer_cast<const Vor::LogicError>(result.getError()), nullptr);
    EXPECT_EQ(result.getMessage(), "Unable to find MMS-report - " + block);
    EXPECT_EQ(pool.getLastError(), result.getMessage());
    // The target is refused: the pool keeps none.
    EXPECT_EQ(pool.getTarget().report.rcbReference, "");
    EXPECT_TRUE(pool.getValues().empty());

    lng::setLanguage(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pool.setTarget(target).getMessage(), "Не удается найти MMS-отчет - " + block);
    testing::internal::GetCapturedStdout();

    // An IED that cannot be reached: the same message, after the connection error line.
    lng::setLanguage(0);
    MmsReportTarget nowhere("127.0.0.1:1", kEvents);
    nowhere.paths.emplace_back(kInd1, nullptr);
    testing::internal::CaptureStdout();
    result = pool.setTarget(nowhere);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ied connection service error!\n");
    EXPECT_EQ(result.getMessage(), "Unable to find MMS-report - [127.0.0.1:1] " + kEvents);

    // No paths, or a path the data set does not hold.
    EXPECT_EQ(pool.setTarget(targetOf(sim, kEvents, {})).getMessage(), "No data attributes are chosen");
    EXPECT_EQ(pool.setTarget(targetOf(sim, kEvents, {kInd1, kMod})).getMessage(),
              kMod + " is not in the data set");
}

TEST_F(MmsReportPoolTest, StartStopAndSetTargetFollowTheLifecycle) {
    MmsReportPool pool;
    EXPECT_FALSE(pool.stop());
    const MmsReportTarget target = targetOf(sim, kEvents, {kInd1});
    ASSERT_TRUE(pool.setTarget(target));
    // Slots are connected while idle: the signals are emitted on the receive thread.
    Recorder recorder(pool, true);
    MmsReportPool second;
    Recorder secondRecorder(second, true);
    ASSERT_TRUE(pool.start());
    EXPECT_FALSE(pool.start());

    // Refused while running, without a message; nothing changes.
    Vor::Result refused = pool.setTarget(targetOf(sim, kChanges, {kInd1, kInd2}));
    EXPECT_FALSE(refused.isValid());
    EXPECT_EQ(refused.getError(), nullptr);
    EXPECT_EQ(pool.getTarget().report.rcbReference, kEvents);
    EXPECT_EQ(pool.getValues().size(), 1u);

    // The block is ours: another client cannot enable it, and fails cleanly.
    ASSERT_TRUE(second.setTarget(target));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(second.start());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("setRCBValues service error!\n"), std::string::npos) << out;
    EXPECT_FALSE(second.isRunning());

    EXPECT_TRUE(recorder.waitForCount(1)); // integrity reports keep coming to the owner
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.stop());

    // Stopping released the block: the second pool gets it now, and the first can take a new target.
    ASSERT_TRUE(second.start());
    EXPECT_TRUE(secondRecorder.waitForCount(1));
    EXPECT_TRUE(second.stop());
    EXPECT_TRUE(pool.setTarget(targetOf(sim, kChanges, {kInd1, kInd2})));
    EXPECT_EQ(pool.getValues().size(), 2u);
    ASSERT_TRUE(pool.start());
    EXPECT_TRUE(pool.stop());
}

} // namespace
