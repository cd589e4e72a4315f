// GooseSubscriberPool end to end: the stack's GOOSE publisher sends on one end of a veth pair,
// the pool listens on the other.
#include "acquisition/Messages.h"
#include "test_goose_support.h"

using namespace VorIec61850;

namespace {

using namespace goosetest;

// Without filters every message updates the values with the time of the data set's "t" member; a
// second pool whose data set has no time member gets time 0 from the same messages.
TEST_F(GoosePoolTest, WithoutFiltersEveryMessageUpdatesTheValuesWithTheirTime) {
    GooseSubscriberPool pool, untimed;
    Recorder seen(pool, true), untimedSeen(untimed, true);
    ASSERT_TRUE(
        pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO2.Ind2.stVal[ST]"})));
    ASSERT_TRUE(untimed.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"}, /*withTime=*/false)));
    ASSERT_EQ(pool.getValues().size(), 2u);
    EXPECT_EQ(pool.getValues()[0], nullptr); // nothing before the first message
    ASSERT_TRUE(untimed.start());
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
        ASSERT_TRUE(seen.waitForCount(before + i + 1));
    }
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.isRunning());
    untimed.stop();
    ASSERT_GE(untimedSeen.count(), 3u);
    for (const Delivery& update : untimedSeen.deliveries()) {
        ASSERT_TRUE(update.elements[0]);
        EXPECT_EQ(update.elements[0]->getUnixTimestamp(), 0u);
    }

    const std::vector<Delivery> updates = seen.deliveries();
    ASSERT_EQ(updates.size(), before + 5);
    const MmsValueElementList& last = updates.back().elements;
    ASSERT_EQ(last.size(), 2u);
    ASSERT_TRUE(last[0] && last[1]);
    EXPECT_EQ(updates.back().text[0], "true");
    EXPECT_EQ(updates.back().text[1], "104");
    // Both members take the time of the data set's "t" member.
    EXPECT_EQ(last[0]->getUnixTimestamp(), kEventTime + 4);
    EXPECT_EQ(last[1]->getUnixTimestamp(), kEventTime + 4);
    EXPECT_EQ(updates[before + 3].text[1], "103");
    // Each message brings new elements; the ones handed out before keep their value and time.
    const auto& earlier = updates[before + 3].elements[0];
    EXPECT_NE(earlier.get(), last[0].get());
    EXPECT_EQ(earlier->getUnixTimestamp(), kEventTime + 3);
    EXPECT_EQ(updates[before + 3].text[0], "false");
    ASSERT_EQ(seen.timestamps().size(), updates.size());
    EXPECT_GT(seen.timestamps().back(), 0u);
}

TEST(GoosePool, UnusableTargetsAreRefusedWithAMessage) {
    GooseIn unparsable = makeTarget("lo", {"LD0/GGIO1.Ind1.stVal[ST]"});
    unparsable.dataSetXml = "<FCDA path=";
    GooseIn empty = makeTarget("lo", {"LD0/GGIO1.Ind1.stVal[ST]"});
    empty.dataSetXml = "";
    struct Case {
        GooseIn target;
        std::string message;
    } cases[] = {
        {makeTarget("lo", {}), "No data attributes are chosen"},
        {unparsable, "The GOOSE data set description cannot be read"},
        {empty, "The GOOSE data set description cannot be read"},
        {makeTarget("lo", {"LD0/GGIO1.Ind1.stVal[ST]", "LD0/GGIO9.Nope.stVal[ST]"}),
         "LD0/GGIO9.Nope.stVal[ST] is not in the data set"},
        {makeTarget("lo", {"LD0/GGIO1.Ind1.stVal[MX]"}), "LD0/GGIO1.Ind1.stVal[MX] is not in the data set"},
    };
    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(makeTarget("lo", {"LD0/GGIO1.Ind1.q[ST]"})));
    for (const Case& c : cases) {
        Vor::Result result = pool.setTarget(c.target);
        EXPECT_FALSE(result.isValid());
        EXPECT_EQ(result.getMessage(), c.message);
        EXPECT_EQ(pool.getLastError(), c.message);
        EXPECT_EQ(pool.getTarget().paths.at(0).path, "LD0/GGIO1.Ind1.q[ST]") << "the old target stays";
    }
}

TEST_F(GoosePoolTest, SetTargetWhileRunningIsRefusedAndChangesNothing) {
    GooseSubscriberPool pool;
    ASSERT_TRUE(pool.setTarget(makeTarget(veth.b(), {"LD0/GGIO1.Ind1.stVal[ST]"})));
    ASSERT_TRUE(pool.start());
    EXPECT_FALSE(pool.start()); // twice: refused, still running
    EXPECT_TRUE(pool.isRunning());
    const std::vector<std::string> two = {"LD0/GGIO1.Ind1.q[ST]", "LD0/GGIO2.Ind2.stVal[ST]"};
    Vor::Result result = pool.setTarget(makeTarget(veth.b(), two));
    EXPECT_FALSE(result.isValid());
    ASSERT_NE(result.getError(), nullptr);
    EXPECT_EQ(result.getMessage(), lng::Iec61850::get("Goose.setTargetError"));
    EXPECT_NE(std::dynamic_pointer_cast<const Vor::LogicError>(result.getError()), nullptr);
    EXPECT_EQ(pool.getTarget().paths.size(), 1u);
    EXPECT_EQ(pool.getValues().size(), 1u);
    // The time pairs come from the data set tree: a member named "t" next to the others.
    const GooseIn& expanded = pool.getTimePairTarget();
    ASSERT_EQ(expanded.paths.size(), 2u);
    EXPECT_EQ(expanded.paths[0].path, "LD0/GGIO1.Ind1.stVal[ST]");
    EXPECT_EQ(expanded.paths[1].path, "t[ST]");
    EXPECT_EQ(expanded.paths[1].channel, nullptr);
    EXPECT_TRUE(pool.stop());
    EXPECT_FALSE(pool.stop());
    EXPECT_TRUE(pool.setTarget(makeTarget(veth.b(), two)));
    EXPECT_EQ(pool.getValues().size(), 2u);
}

} // namespace
