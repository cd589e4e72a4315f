// GooseSubscriberPool end to end: the stack's GOOSE publisher sends on one end of a veth pair,
// the pool listens on the other.
#include "acquisition/Messages.h"
#include "test_goose_support.h"

using namespace VorIec61850;

namespace {

using namespace goosetest;

TEST_F(GoosePoolTest, WithoutFiltersEveryMessageUpdatesTheValuesWithTheirTime) {
    GooseSubscriberPool pool;
    Seen seen;
    seen.connect(pool);
    ASSERT_TRUE(
        pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO2.Ind2.stVal[ST]"})));
    ASSERT_EQ(pool.getValues().size(), 2u);
    EXPECT_EQ(pool.getValues()[0], nullptr); // nothing before the first message
    ASSERT_TRUE(pool.start());
    EXPECT_TRUE(pool.isRunning());
    EXPECT_EQ(pool.getReceiverCount(), 1u);

    Publisher publisher(veth.a(), Publication{});
    ASSERT_TRUE(publisher.ok());
    publishUntil(publisher, seen, 1);
    ASSERT_GE(seen.count(), 1u);
    size_t before = seen.count();
    for (int i = 0; i < 5; ++i) {
        publisher.publish(i % 2 == 0, 100 + i, kEventTime + i);
        ASSERT_TRUE(seen.waitFor(before + i + 1));
    }
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.isRunning());

    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_EQ(seen.updates.size(), before + 5);
    const MmsValueElementList& last = seen.updates.back();
    ASSERT_EQ(last.size(), 2u);
    ASSERT_TRUE(last[0] && last[1]);
    EXPECT_EQ(seen.printed.back()[0], "true");
    EXPECT_EQ(seen.printed.back()[1], "104");
    // Both members take the time of the data set's "t" member.
    EXPECT_EQ(last[0]->getUnixTimestamp(), kEventTime + 4);
    EXPECT_EQ(last[1]->getUnixTimestamp(), kEventTime + 4);
    EXPECT_EQ(seen.printed[before + 3][1], "103");
    ASSERT_EQ(seen.timestamps.size(), seen.updates.size());
    EXPECT_GT(seen.timestamps.back(), 0u);
}

TEST_F(GoosePoolTest, ElementsAreReplacedNeverChangedInPlace) {
    GooseSubscriberPool pool;
    Seen seen;
    seen.connect(pool);
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    Publisher publisher(veth.a(), Publication{});
    publishUntil(publisher, seen, 1);
    size_t before = seen.count();
    publisher.publish(true, 1, kEventTime + 1000);
    ASSERT_TRUE(seen.waitFor(before + 1));
    pool.stop();
    std::lock_guard<std::mutex> lock(seen.mutex);
    auto first = seen.updates[before - 1][0];
    auto second = seen.updates[before][0];
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->getUnixTimestamp(), kEventTime);
    EXPECT_EQ(second->getUnixTimestamp(), kEventTime + 1000);
}

TEST_F(GoosePoolTest, TimePairsComeFromTheDataSetTree) {
    GooseSubscriberPool pool;
    ASSERT_TRUE(
        pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO9.Nope.stVal[ST]"})));
    const GooseIn& expanded = pool.getTimePairTarget();
    ASSERT_EQ(expanded.paths.size(), 4u);
    EXPECT_EQ(expanded.paths[0].path, "LD0/GGIO1.Ind1.stVal[ST]");
    EXPECT_EQ(expanded.paths[1].path, "t[ST]");
    EXPECT_EQ(expanded.paths[2].path, "LD0/GGIO9.Nope.stVal[ST]");
    EXPECT_EQ(expanded.paths[3].path, ""); // not a member: no time either
    EXPECT_EQ(pool.getTarget().paths.size(), 2u);

    // A hierarchical member: the time is the "t" sibling of the attribute.
    FCDAElement root;
    auto member =
        std::make_unique<FCDAElement>("LD0/XCBR1.Pos", tFCEnum::ST, tMmsTypeEnum::STRUCTURE, nullptr);
    member->addChild(std::make_unique<FCDAElement>("stVal", tFCEnum::ST, tMmsTypeEnum::BIT_STRING, nullptr));
    member->addChild(std::make_unique<FCDAElement>("q", tFCEnum::ST, tMmsTypeEnum::BIT_STRING, nullptr));
    member->addChild(std::make_unique<FCDAElement>("t", tFCEnum::ST, tMmsTypeEnum::UTC_TIME, nullptr));
    root.addChild(std::move(member));
    GooseIn target;
    target.dataSetXml = root.serializeToString();
    target.paths.push_back(MmsPath("LD0/XCBR1.Pos.stVal[ST]", nullptr));
    ASSERT_TRUE(pool.setTarget(target));
    ASSERT_EQ(pool.getTimePairTarget().paths.size(), 2u);
    EXPECT_EQ(pool.getTimePairTarget().paths[1].path, "LD0/XCBR1.Pos.t[ST]");
    EXPECT_EQ(pool.getTimePairTarget().paths[1].channel, nullptr);
}

TEST_F(GoosePoolTest, ValueWithoutTimeAttributeHasTimeZeroAndUnknownMemberStaysNull) {
    GooseSubscriberPool pool;
    Seen seen;
    seen.connect(pool);
    ASSERT_TRUE(pool.setTarget(
        makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO9.Nope.stVal[ST]"}, /*withTime=*/false)));
    ASSERT_TRUE(pool.start());
    Publisher publisher(veth.a(), Publication{});
    publishUntil(publisher, seen, 3);
    pool.stop();
    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_GE(seen.updates.size(), 3u);
    for (const auto& update : seen.updates) {
        ASSERT_TRUE(update[0]);
        EXPECT_EQ(update[0]->getUnixTimestamp(), 0u);
        EXPECT_EQ(update[1], nullptr);
    }
}

TEST_F(GoosePoolTest, EmptyTargetStillSignalsEachMessage) {
    GooseSubscriberPool pool;
    Seen seen;
    seen.connect(pool);
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {})));
    EXPECT_TRUE(pool.getValues().empty());
    ASSERT_TRUE(pool.start());
    Publisher publisher(veth.a(), Publication{});
    publishUntil(publisher, seen, 2);
    pool.stop();
    EXPECT_GE(seen.count(), 2u);
}

TEST_F(GoosePoolTest, SetTargetWhileRunningIsRefusedAndChangesNothing) {
    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    EXPECT_FALSE(pool.start()); // twice: refused, still running
    EXPECT_TRUE(pool.isRunning());
    Vor::Result result = pool.setTarget(makeTarget(veth.b(), {"A/B.c[ST]", "A/B.d[ST]"}));
    EXPECT_FALSE(result.isValid());
    ASSERT_NE(result.getError(), nullptr);
    EXPECT_EQ(result.getMessage(), lng::Iec61850::get("Goose.setTargetError"));
    EXPECT_NE(std::dynamic_pointer_cast<const Vor::LogicError>(result.getError()), nullptr);
    EXPECT_EQ(pool.getTarget().paths.size(), 1u);
    EXPECT_EQ(pool.getValues().size(), 1u);
    EXPECT_EQ(pool.getTimePairTarget().paths.size(), 2u);
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.stop());
    EXPECT_TRUE(pool.setTarget(makeTarget(veth.b(), {"A/B.c[ST]", "A/B.d[ST]"})));
    EXPECT_EQ(pool.getValues().size(), 2u);
}

TEST(GoosePool, StartFailsOnMissingInterfaceOrBadMacAndLeavesThePoolIdle) {
    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(makeTarget("ixnosuchif0", {"LD0/GGIO1.Ind1.stVal[ST]"})));
    EXPECT_FALSE(pool.start());
    EXPECT_FALSE(pool.isRunning());
    EXPECT_EQ(pool.getReceiverCount(), 0u);

    GooseIn target = makeTarget("lo", {});
    target.identifier.dstMac = std::string("01:0c:cd:zz");
    ASSERT_TRUE(pool.setTarget(target));
    EXPECT_FALSE(pool.start());
    EXPECT_FALSE(pool.isRunning());
}

} // namespace
